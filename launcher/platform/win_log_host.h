#pragma once

#include "setup_log.h"

class WinLogHost : public LogHost {
  public:
    int programDataFolder(std::string& folder) override;
    int createDirectory(const std::string& path, const std::string& security) override;
    int inspect(const std::string& path, PathFacts& facts) override;
    std::string errorMessage(int code) override;
    int openUnchanged(const std::string& path, std::FILE*& file, PathFacts& facts) override;
    int truncateUnwritten(std::FILE* file) override;
    std::string logText(const std::string& text) override;
};
