// Opening a prerequisite's web site in the user's browser through a temporary
// internet shortcut: the shell picks the browser the user chose.
#pragma once
#include <string>

// Writes "[InternetShortcut]\r\nURL=<url>\r\n" in the thread's ANSI code page
// to a new ".url" file in the temporary folder and opens it with the shell.
// The path of the shortcut, or empty when it could not be written (nothing is
// opened then). What the shell did is not judged; the file stays.
std::wstring OpenSiteShortcut(const std::wstring& url);
