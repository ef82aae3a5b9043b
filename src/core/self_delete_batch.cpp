#include "core/self_delete_batch.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <vector>

#include "platform/core/logger.h"
#include "util/com_apartment.h"
#include "util/path_text.h"
#include "util/temp_folder.h"
#include "util/unique_handle.h"
#include "util/wide_format.h"

namespace {
// CR LF and the blanks before them are part of the texts.
const char kFileUnlimited[] =
    "@echo off \r\n%%SystemRoot%%\\System32\\attrib.exe -r \"%s\" \r\n:try \r\ndel \"%s\" \r\n"
    "if exist \"%s\" goto try\r\n%%SystemRoot%%\\System32\\attrib.exe -r \"%s\" \r\n"
    "del \"%s\" | cls";
const char kFolderUnlimited[] =
    "@echo off \r\n%%SystemRoot%%\\System32\\attrib.exe -r \"%s\" \r\n:try \r\nrd \"%s\" \r\n"
    "if exist \"%s\" goto try\r\n%%SystemRoot%%\\System32\\attrib.exe -r \"%s\" \r\n"
    "del \"%s\" | cls";
const char kFileCounted[] =
    "@echo off \r\n%%SystemRoot%%\\System32\\attrib.exe -r \"%s\" \r\nSET count=0 \r\n:try \r\n"
    "%%SystemRoot%%\\System32\\timeout.exe 5 \r\nSET /a count=%%count%%+1\r\ndel \"%s\" \r\n"
    "if %%count%% GTR %lu goto break\r\nif exist \"%s\" goto try\r\n:break \r\n"
    "%%SystemRoot%%\\System32\\attrib.exe -r \"%s\" \r\ndel \"%s\" | cls";
const char kFolderCounted[] =
    "@echo off \r\n%%SystemRoot%%\\System32\\attrib.exe -r \"%s\" \r\nSET count=0 \r\n:try \r\n"
    "%%SystemRoot%%\\System32\\timeout.exe  5 \r\nSET /a count=%%count%%+1\r\nrd \"%s\" \r\n"
    "if %%count%% GTR %lu goto break\r\nif exist \"%s\" goto try\r\n:break \r\n"
    "%%SystemRoot%%\\System32\\attrib.exe -r \"%s\" \r\ndel \"%s\" | cls";

// The short form of an existing path (the path itself where a component has
// none); empty when the path does not exist.
std::wstring ShortForm(const std::wstring& path) {
  const std::wstring long_form = ToLongPath(path);
  const DWORD needed = GetShortPathNameW(long_form.c_str(), nullptr, 0);
  if (needed == 0) return std::wstring();
  std::vector<wchar_t> buffer(needed + 1);
  const DWORD length = GetShortPathNameW(long_form.c_str(), buffer.data(), needed + 1);
  if (length == 0 || length > needed) return std::wstring();
  return FromLongPath(std::wstring(buffer.data(), length));
}

// The short form where it can be written (it is what the batch file has
// always named), else the path itself; empty when neither can.
std::string BatchText(const std::wstring& path, const std::wstring& short_form) {
  const UINT code_page = GetOEMCP();
  const std::string text = BatchPathText(short_form, code_page);
  return text.empty() ? BatchPathText(path, code_page) : text;
}

void LogNotHandedOver(const std::wstring& path) {
  if (LoggingEnabled) {
    LOGGER.Write(FormatW(L"Failed to schedule the removal of:%s Error:%lu", path.c_str(),
                         static_cast<unsigned long>(ERROR_NO_UNICODE_TRANSLATION)));
  }
}
}  // namespace

std::string BatchPathText(const std::wstring& path, unsigned code_page) {
  if (path.empty() || path.find(L'!') != std::wstring::npos) return std::string();
  // A character the code page lacks becomes the default "?" (a wildcard for
  // del) or a best-fit look-alike (a full-width letter its ASCII twin): both
  // name other files. Only a conversion that reads back identical is used.
  // UTF-8 takes neither the flag nor the default report, and loses nothing.
  const bool utf8 = code_page == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL used_default = FALSE;
  BOOL* report = utf8 ? nullptr : &used_default;
  const int wide_length = static_cast<int>(path.size());
  const int size =
      WideCharToMultiByte(code_page, flags, path.data(), wide_length, nullptr, 0, nullptr, report);
  if (size <= 0 || used_default) return std::string();
  std::string narrow(size, '\0');
  if (WideCharToMultiByte(code_page, flags, path.data(), wide_length, &narrow[0], size, nullptr,
                          report) != size ||
      used_default) {
    return std::string();
  }
  std::wstring back(path.size(), L'\0');
  if (MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, narrow.data(), size, &back[0],
                          wide_length) != wide_length ||
      back != path) {
    return std::string();
  }
  // cmd expands %name% even between quotes; doubled, "%" stands for itself.
  // "&" and "^" are plain text between quotes.
  std::string text;
  for (char c : narrow) {
    if (c == '%') text += '%';
    text += c;
  }
  return text;
}

std::string SelfDeleteBatchText(const std::string& target, const std::string& batch, bool is_folder,
                                uint32_t retry_count) {
  const char* t = target.c_str();
  const char* b = batch.c_str();
  const unsigned long count = retry_count;
  if (retry_count == 0) return FormatA(is_folder ? kFolderUnlimited : kFileUnlimited, t, t, t, b, b);
  return FormatA(is_folder ? kFolderCounted : kFileCounted, t, t, count, t, b, b);
}

void SelfDeleteBatch::SetTarget(const std::wstring& path) {
  if (path.empty()) {
    target_ansi_.clear();
    target_.clear();
    retry_count_ = 0;
    return;
  }
  const std::wstring short_form = ShortForm(path);
  if (short_form.empty()) return;
  const std::string text = BatchText(path, short_form);
  if (text.empty()) {
    LogNotHandedOver(path);
    return;
  }
  target_ansi_ = text;
  target_ = path;
}

void SelfDeleteBatch::Run() {
  if (target_ansi_.empty()) return;
  const std::wstring folder = GetTempFolder();
  wchar_t name[MAX_PATH + 1] = {};
  if (folder.empty() || !GetTempFileNameW(folder.c_str(), L"EXE", 0, name)) return;
  DeleteFileW(name);
  std::wstring batch = name;
  batch.replace(batch.rfind(L'.'), std::wstring::npos, L".bat");
  // The batch file removes itself last, so it must be able to name itself:
  // its folder (the temporary folder, which holds the user name) by whatever
  // form cmd reads exactly, its own name being plain ASCII.
  const std::wstring batch_folder = FolderOf(batch);
  const std::string folder_text = BatchText(batch_folder, ShortForm(batch_folder));
  if (folder_text.empty()) {
    LogNotHandedOver(target_);
    return;
  }
  const std::string batch_text =
      folder_text + "\\" + BatchPathText(batch.substr(batch_folder.size() + 1), GetOEMCP());
  const std::string text = SelfDeleteBatchText(target_ansi_, batch_text, is_folder_, retry_count_);
  {
    UniqueFile file(CreateFileW(batch.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD written = 0;
    if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size()) {
      file.reset();
      DeleteFileW(batch.c_str());
      return;
    }
  }
  const std::wstring work = FolderOf(target_);
  ScopedComApartment com;
  if (elevate_) {
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"runas";
    info.lpFile = batch.c_str();
    info.lpDirectory = work.empty() ? nullptr : work.c_str();
    info.nShow = SW_HIDE;
    ShellExecuteExW(&info);
  } else {
    ShellExecuteW(nullptr, L"open", batch.c_str(), nullptr, work.empty() ? nullptr : work.c_str(),
                  SW_HIDE);
  }
}
