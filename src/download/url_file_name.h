// Where a downloaded file lands: the file name taken from its URL and the
// path below the download folder. Pure.
#pragma once
#include <string>

// The file name a URL stands for: the last name with an extension before the
// query ("http://host/dl/setup.exe?lang=en" gives "setup.exe"), or the last
// path component when there is no ".". Only the part before an embedded second
// "://" is looked at (a redirector's target URL in its query). At most 41
// characters, never a separator character (\ / : * ? " < > |); empty when
// the URL holds no name.
std::wstring FileNameFromUrl(const std::wstring& url);

// The local path of a download. A non-empty file_name gives download_folder
// followed by it. Otherwise the folder value, "sub\folder" or
// "sub\folder?forced.exe", adds a sub-folder and optionally forces the file
// name; without a forced name the name comes from the URL.
std::wstring TargetPath(const std::wstring& download_folder, const std::wstring& url,
                        const std::wstring& folder, const std::wstring& file_name = {});
