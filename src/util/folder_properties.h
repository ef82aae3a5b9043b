// References to folders, environment variables and registry values inside
// configured paths and command lines: "[ProgramFilesFolder]", "%TEMP%",
// "!HKLM\Software\Vendor\InstallDir!".
#pragma once
#include <functional>
#include <string>

enum class ReferenceKind {
  FolderProperty,  // [name]
  Environment,     // %name%
  Registry,        // !root\key\value!
};

// Looks one reference up; true with the text, false when it has no value.
using ReferenceResolver =
    std::function<bool(ReferenceKind kind, const std::wstring& name, std::wstring* value)>;

// The scanner behind ExpandProperties, pure. Replaces every reference from
// left to right; replacements are not scanned again. A folder property that
// does not resolve stays as written, brackets included; an environment
// variable or registry value that does not resolve gives empty text. An opener
// without its closer leaves the rest of the text unchanged. The "!" closer is
// looked for from the second character after the opener, so "!!" never closes.
std::wstring ExpandReferences(const std::wstring& text, const ReferenceResolver& resolve);

// ExpandReferences with the machine's folders, environment and registry;
// wow64 picks the 64-bit view of the registry and of SystemFolder. Both
// programs see what a 32-bit program sees otherwise: %ProgramFiles% and
// %CommonProgramFiles% are the "(x86)" folders on 64-bit Windows.
std::wstring ExpandProperties(const std::wstring& text, bool wow64);

// The path of a folder property (exact, case-sensitive name). Shell folders,
// SystemFolder, TempFolder, ProgramFiles64Folder and SETUPEXEDIR end with "\";
// System32Folder and WindowsFolder do not; WindowsVolume is like "C:\".
// ProgramFilesFolder, ProgramFiles and CommonFilesFolder are the 32-bit
// folders on 64-bit Windows, in the 64-bit program too. False,
// leaving *path alone, for an unknown name or a folder the system cannot give.
bool ResolveFolderProperty(const std::wstring& name, std::wstring* path, bool wow64);
