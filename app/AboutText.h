#pragma once
// The maker's web address (window caption) and the about panel's text.
inline constexpr const char* kMakerWebAddress = "www.lumeskar.example";

const char* AboutText();
