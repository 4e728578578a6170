// A fresh temporary folder per test, removed afterwards.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

class TempDir {
 public:
  explicit TempDir(const char* base = nullptr) {
    std::string root = base != nullptr ? base : std::filesystem::temp_directory_path().string();
    std::string pattern = root + "/fwtest-XXXXXX";
    path_ = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Sets an environment variable (or unsets it, for a null value) for the life
// of the object, then puts back what was there.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) saved_ = old;
    if (value != nullptr)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (saved_)
      setenv(name_.c_str(), saved_->c_str(), 1);
    else
      unsetenv(name_.c_str());
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> saved_;
};

// A scratch home folder: HOME points at it while the object lives, and the
// XDG folders follow it (XDG_CONFIG_HOME and XDG_STATE_HOME unset), in UTC.
class TempHome : public TempDir {
 public:
  TempHome()
      : home_("HOME", path().c_str()),
        config_("XDG_CONFIG_HOME", nullptr),
        state_("XDG_STATE_HOME", nullptr),
        timeZone_("TZ", "UTC") {}

 private:
  ScopedEnv home_;
  ScopedEnv config_;
  ScopedEnv state_;
  ScopedEnv timeZone_;
};
