// Placeholder until the windows land.
int main() { return 0; }
