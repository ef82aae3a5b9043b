// The searches that tell whether a prerequisite is on the machine: files,
// registry keys and values, Windows Installer products and components,
// store packages, helper programs.
#pragma once
#include "detect/prerequisite.h"

class ChainerConfig;

// Runs one search. wow64 is the prerequisite's "x" letter: look at the 64-bit
// file system and registry. config supplies the helper programs of type 10.
SearchResult RunSearch(const SearchEntry& search, bool wow64, ChainerConfig& config);
