// Turns packed Java archives (name.jar.pack) back into JAR files with the
// unpack200.exe of a Java runtime 1.5 or later: one carried beside the files
// (folders "jre" and "jre64" in the first folder) or one registered on the
// machine. The work runs on a worker thread whose exit code is the result.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "util/unique_handle.h"

enum UnpackResult : uint32_t {
  kUnpackSucceeded = 0,
  kUnpackFailed = 14,    // a file could not be unpacked, or no Java runtime was found
  kUnpackCanceled = 17,  // the user cancelled
};

// What the worker reports; called on the worker thread.
class IUnpackProgress {
 public:
  virtual ~IUnpackProgress() = default;
  virtual void Begin() = 0;
  virtual void SetTotal(uint32_t files) = 0;
  // made: this run put the JAR at jar_path; false when unpacking failed or a
  // file the run did not make was already there (it stays as it is).
  virtual void FileDone(const std::wstring& jar_path, bool made) = 0;
  virtual bool IsCanceled() = 0;
};

// "x.jar.pack" (either extension in any case) but not "x.pack".
bool IsPackedJarName(const std::wstring& file_name);
// The pack path without its last extension.
std::wstring JarPathFor(const std::wstring& pack_path);
// The name the tool writes a JAR under before it is moved to jar_path: beside
// it, so that the move is a rename, and unique to this process and attempt.
std::wstring UnpackingNameFor(const std::wstring& jar_path, uint32_t process_id, uint32_t attempt);
// The arguments unpack200.exe gets for one file.
std::wstring UnpackCommandLine(const std::wstring& log_file, const std::wstring& pack_path,
                               const std::wstring& jar_path);

struct PackEntry {
  std::wstring path;
  size_t folder_index = 0;
};
// Every packed JAR below the folders, subfolders included, folder by folder.
std::vector<PackEntry> FindPackedJars(const std::vector<std::wstring>& folders);

// The tool below folder_a, else below folder_b, else below the JavaHome of a
// runtime registered under HKLM\Software\JavaSoft\Java Runtime Environment
// whose version is not below min_version: the 32-bit registry view first,
// then the 64-bit one. Empty when none has it.
std::wstring FindJavaTool(const std::wstring& tool, const std::wstring& min_version,
                          const std::wstring& folder_a, const std::wstring& folder_b);

// Starts the worker: it waits for wait_handle when given (the extraction that
// makes the files), then unpacks every packed JAR below the folders. Its exit
// code is an UnpackResult. progress may be null and must outlive the worker.
// An empty handle (and the last error) when the thread cannot be created.
UniqueKernelHandle StartUnpacking(const std::vector<std::wstring>& folders, HANDLE wait_handle,
                                  IUnpackProgress* progress);
