// The run's text log. Writers test LoggingEnabled before they format a line
// and hand each finished line to LOGGER.Write.
#pragma once
#include <string>

// Set once, before the chain starts, when the configuration names a log file.
extern bool LoggingEnabled;

class Logger {
 public:
  Logger();
  ~Logger();
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  // Chooses the file for the first line; ignored once a file is open.
  void SetLogFile(const std::wstring& path);
  // Appends one time-stamped line.
  void Write(const std::wstring& text);

 private:
  struct State;
  State* state_;
};

extern Logger LOGGER;
