#pragma once

#include "setup_log.h"

class WinLogHost : public LogHost {
  public:
    int programDataFolder(std::string& folder) override;
    int createDirectory(const std::string& path) override;
    std::string errorMessage(int code) override;
    std::FILE* openExclusive(const std::string& path) override;
    std::string logText(const std::string& text) override;
};
