// Setting environment variables in tests on both platforms.
#pragma once

#include <cstdlib>
#include <string>

namespace perchkin::testing_env {

inline void set(const char* name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name, value.c_str());
#else
  ::setenv(name, value.c_str(), 1);
#endif
}

inline void unset(const char* name) {
#ifdef _WIN32
  _putenv_s(name, "");
#else
  ::unsetenv(name);
#endif
}

}  // namespace perchkin::testing_env
