#include "detect/prerequisite.h"

const wchar_t* DetectionStateText(DetectionState state) {
  switch (state) {
    case DetectionState::Found:
      return L"An acceptable version was found.";
    case DetectionState::InstallFromPackage:
      return L"No acceptable version found. It must be installed from package.";
    case DetectionState::Download:
      return L"No acceptable version found. It must be downloaded.";
    case DetectionState::ManualSite:
      return L"No acceptable version found. It must be downloaded manually from a site.";
    case DetectionState::OsNotSupported:
      return L"No acceptable version found. Operating System not supported.";
    case DetectionState::AlreadyDownloaded:
      return L"No acceptable version found. It is already downloaded and it will be installed.";
    case DetectionState::NoAcceptableVersion:
      return L"No acceptable version found.";
    case DetectionState::NotSelected:
      return L"Not selected for install.";
    default:
      return L"Undefined";
  }
}
