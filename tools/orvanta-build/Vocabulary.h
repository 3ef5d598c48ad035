// The word stock of the sample collection: materia medica, symptoms, formulas
// and the phrases of the classical texts, from which its sentences are made.
// All of it is written in code page 950 characters.
#pragma once

#include <span>

namespace Orvanta::Build::Vocabulary {

std::span<const char* const> herbs();
std::span<const char* const> symptoms();
std::span<const char* const> formulas();
std::span<const char* const> pulses();
std::span<const char* const> organs();
std::span<const char* const> tastes();
std::span<const char* const> natures();
std::span<const char* const> physicians();
std::span<const char* const> books();
std::span<const char* const> acupoints();
std::span<const char* const> vehicles();    // what a powder is taken with
std::span<const char* const> latinNames();  // mixed-case Latin names
std::span<const char* const> grades();      // the three grades of the herbals, in English
std::span<const char* const> topics();      // the subject of a chapter title

// Sentence patterns. A slot {X} is filled from a list above:
// H herb, S symptom, F formula, P pulse, O organ, T taste, Q nature,
// D physician, B book, A acupoint, V vehicle, L Latin name, G grade,
// N small numeral (一 to 十).
std::span<const char* const> sentencePatterns();

} // namespace Orvanta::Build::Vocabulary
