#pragma once

#include <string>

// Starts a script elevated and hidden, without waiting for it.
class Shell {
  public:
    virtual ~Shell() = default;
    // True when the shell reported success; otherwise lastError holds the system's error.
    virtual bool startScript(const std::string& path, int& lastError) = 0;
};
