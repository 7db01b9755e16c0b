// The installer's progress log: one entry per step, in
// "ZK_Progress_Installer.log" in the current directory. Each entry is FF FE,
// the text as UTF-16LE and "\r\n". The file is opened and closed for every
// entry; any failure drops the entry silently.
#pragma once

#include <string>
#include <string_view>

class ProgressLog {
 public:
  static ProgressLog& Instance();

  // truncate: create or empty the file first; otherwise append only to a
  // file that exists.
  void Write(std::u16string_view text, bool truncate) const;

  const std::u16string& FileName() const { return fileName_; }

 private:
  ProgressLog() = default;
  std::u16string fileName_ = u"ZK_Progress_Installer.log";
};

// Shorthand for ProgressLog::Instance().Write(text, false).
inline void LogEntry(std::u16string_view text) { ProgressLog::Instance().Write(text, false); }
