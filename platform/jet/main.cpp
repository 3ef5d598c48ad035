// Placeholder until the reader lands.
int main() { return 0; }
