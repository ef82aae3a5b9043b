#include "platform/core/logger.h"

bool LoggingEnabled = false;

// The file handling arrives with the log itself; until then lines are dropped.
struct Logger::State {
  std::wstring path;
};

Logger::Logger() : state_(new State) {}
Logger::~Logger() { delete state_; }

void Logger::SetLogFile(const std::wstring& path) { state_->path = path; }
void Logger::Write(const std::wstring&) {}

Logger LOGGER;
