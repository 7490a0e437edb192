#pragma once

#include "shell.h"

class WinShell : public Shell {
  public:
    bool startScript(const std::string& path, int& lastError) override;
};
