#include "core/self_delete_batch.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <vector>

#include "util/path_text.h"
#include "util/temp_folder.h"
#include "util/unique_handle.h"

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

std::string ToAnsi(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size =
      WideCharToMultiByte(CP_THREAD_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::vector<char> buffer(size);
  WideCharToMultiByte(CP_THREAD_ACP, 0, text.c_str(), -1, buffer.data(), size, nullptr, nullptr);
  return std::string(buffer.data());
}
}  // namespace

std::string SelfDeleteBatchText(const std::string& target, const std::string& batch, bool is_folder,
                                uint32_t retry_count) {
  const char* t = target.c_str();
  const char* b = batch.c_str();
  const unsigned long count = retry_count;
  for (size_t size = 1024;; size *= 2) {
    std::vector<char> text(size);
    int length;
    if (retry_count == 0) {
      length = std::snprintf(text.data(), size, is_folder ? kFolderUnlimited : kFileUnlimited, t, t,
                             t, b, b);
    } else {
      length = std::snprintf(text.data(), size, is_folder ? kFolderCounted : kFileCounted, t, t,
                             count, t, b, b);
    }
    if (length < 0) return std::string();
    if (static_cast<size_t>(length) < size) return std::string(text.data(), length);
  }
}

void SelfDeleteBatch::SetTarget(const std::wstring& path) {
  if (path.empty()) {
    target_ansi_.clear();
    target_.clear();
    retry_count_ = 0;
    return;
  }
  const std::wstring long_form = ToLongPath(path);
  const DWORD needed = GetShortPathNameW(long_form.c_str(), nullptr, 0);
  if (needed == 0) return;
  std::vector<wchar_t> buffer(needed + 1);
  const DWORD length = GetShortPathNameW(long_form.c_str(), buffer.data(), needed + 1);
  if (length == 0 || length > needed) return;
  const std::string ansi = ToAnsi(FromLongPath(std::wstring(buffer.data(), length)));
  if (ansi.empty()) return;
  target_ansi_ = ansi;
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
  const std::string text =
      SelfDeleteBatchText(target_ansi_, ToAnsi(batch), is_folder_, retry_count_);
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
