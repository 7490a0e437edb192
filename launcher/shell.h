#pragma once

#include <string>

// Starts a script elevated and hidden, without waiting for it.
class Shell {
  public:
    virtual ~Shell() = default;
    // path is plain ASCII, the same text in UTF-8 and in every ANSI code page. True when
    // the shell reported success; otherwise lastError holds the system's error.
    virtual bool startScript(const std::string& path, int& lastError) = 0;
};
