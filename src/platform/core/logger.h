// The run's text log: a UTF-16LE file with a header, one time-stamped line per
// Write, every piece flushed to disk on its own so that the log survives a
// crash. Writers test LoggingEnabled before they format a line and hand each
// finished line to LOGGER.Write. The logger's own troubles go to the debugger
// output only.
#pragma once
#include <string>

// Set once, before the chain starts, when the configuration names a log file.
extern bool LoggingEnabled;
// LOGGER.Write(line) when logging is on.
void LogLine(const std::wstring& line);

class Logger {
 public:
  Logger();
  // Closes the file; writes nothing (the end line is Finish's).
  ~Logger();
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  // Chooses the file for the first line; ignored once a file is open. Does
  // not open the file.
  void SetLogFile(const std::wstring& path);
  // Appends "<time stamp>-<text>\r\n", opening the file (configured path, then
  // the fallback locations) and writing its header when none is open yet. The
  // line is lost when no location works.
  void Write(const std::wstring& text);
  // Writes the end-of-log line when LoggingEnabled is set and closes the file
  // for good: later lines are dropped. The process logger runs it at exit.
  void Finish();

 private:
  struct State;
  void WriteLine(const std::wstring& text);  // under the lock
  void Open();                               // under the lock, with no file open
  void WritePiece(const std::wstring& text);
  State* state_;
};

// The process-wide logger. It is created before every ordinary static object
// and never destroyed, so any thread may still call it while the process
// ends; its end line follows the lines that other objects write from their
// destructors.
extern Logger& LOGGER;
