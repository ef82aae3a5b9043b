// RunSearch with the facts about the running Windows passed in, so that a
// test can ask what the searches would do on another Windows.
#pragma once
#include "detect/prerequisite.h"

class ChainerConfig;
class IMsixFinder;

// What the searches ask of the system besides the thing they look at.
struct SearchPlatform {
  bool windows_64bit = false;          // the 64-bit registry view exists
  bool windows10_or_later = false;     // store packages exist; Windows files need a copy
  IMsixFinder* msix_finder = nullptr;  // nullptr: no store package is ever found
};

// The running system: GetOsFacts() and the system's package finder.
SearchPlatform CurrentSearchPlatform();

// RunSearch on the given platform.
SearchResult RunSearchOn(const SearchEntry& search, bool wow64, ChainerConfig& config,
                         const SearchPlatform& platform);
