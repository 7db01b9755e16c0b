// The installer's progress log: one entry per step, in
// "ZK_Progress_Installer.log" in the current directory. Each entry is FF FE,
// the text as UTF-16LE and "\r\n". The file is opened and closed for every
// entry; a failure drops the entry (only the first one's is looked at).
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "net/Text.h"

class ProgressLog {
 public:
  static ProgressLog& Instance();

  // truncate: create or empty the file first; otherwise append only to a
  // file that exists. False when the entry could not be written.
  bool Write(std::u16string_view text, bool truncate) const;

  const std::u16string& FileName() const { return fileName_; }

 private:
  ProgressLog() = default;
  std::u16string fileName_ = u"ZK_Progress_Installer.log";
};

// Shorthand for ProgressLog::Instance().Write(text, false).
inline void LogEntry(std::u16string_view text) { ProgressLog::Instance().Write(text, false); }

// The text of an entry with placeholders: every "%s" value passes through
// SanitizeLogText, so a value from outside (a registry value, a path) can
// neither break its line nor forge another; the format's own "\r\n" stays.
std::u16string FormatLogEntry(std::u16string_view format, std::initializer_list<FormatArg> args);
