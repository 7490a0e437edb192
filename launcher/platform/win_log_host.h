#pragma once

#include "setup_log.h"

class WinLogHost : public LogHost {
  public:
    int programDataFolder(std::string& folder) override;
    int finalPathOf(const std::string& path, std::string& finalPath) override;
    int createDirectory(const std::string& path, const std::string& security) override;
    int holdFolder(const std::string& path, HeldEntry& folder) override;
    int openLogFile(const std::string& path, HeldEntry& file) override;
    int deleteWhenClosed(HeldEntry& file) override;
    int empty(HeldEntry& file) override;
    int streamOf(HeldEntry& file, std::FILE*& stream) override;
    void close(HeldEntry& entry) override;
    bool sameName(const std::string& left, const std::string& right) override;
    std::string errorMessage(int code) override;
    std::string logText(const std::string& text) override;
};
