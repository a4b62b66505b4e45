#include "app/crash.h"
#include "app/launch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "../test_env.h"

#ifndef _WIN32
#include <dlfcn.h>
#endif

namespace perchkin {
namespace {

using Args = std::vector<std::string>;

TEST(LaunchPort, OptionThenEnvironmentThenDefault) {
  EXPECT_EQ(resolve_port({"p", "--port", "+8080"}, std::nullopt), 8080);
  EXPECT_EQ(resolve_port({"p", "--port", "70000"}, std::string("9000")), 9000);
  EXPECT_EQ(resolve_port({"p", "--port", "-5"}, std::nullopt), kDefaultPort);
  EXPECT_EQ(resolve_port({"p", "--port", "12ab"}, std::string("x")), kDefaultPort);
  EXPECT_EQ(resolve_port({"p", "--port"}, std::string("1234")), 1234);
  EXPECT_EQ(resolve_port({"p", "--port", "+"}, std::nullopt), kDefaultPort);
  EXPECT_EQ(resolve_port({"p", "--port", ""}, std::nullopt), kDefaultPort);
  EXPECT_EQ(resolve_port({"p", "--port", "65535"}, std::nullopt), 65535);
  EXPECT_EQ(resolve_port({"p", "--port", "99999999999999999999999"}, std::nullopt), kDefaultPort);
  // Later repetitions are ignored; the value may itself look like an option.
  EXPECT_EQ(resolve_port({"p", "--port", "1", "--port", "2"}, std::nullopt), 1);
  EXPECT_EQ(option_value({"p", "--scale", "--port"}, "--scale"), "--port");
  EXPECT_EQ(resolve_port({"p", "--port=5"}, std::nullopt), kDefaultPort);
  // The message for a taken port names the way it was chosen.
  EXPECT_EQ(parse_launch_options({"p", "--port", "5"}, std::string("6")).port_source,
            PortSource::option);
  EXPECT_EQ(parse_launch_options({"p", "--port", "x"}, std::string("6")).port_source,
            PortSource::environment);
  EXPECT_EQ(port_taken_message(5, PortSource::option).find("PERCHKIN_PORT"), std::string::npos);
}

TEST(LaunchMode, McpWinsWherever) {
  EXPECT_EQ(launch_mode({"p", "--port", "5", "--quit", "--mcp"}), LaunchMode::mcp);
  EXPECT_EQ(launch_mode({"p", "--quit"}), LaunchMode::quit);
  EXPECT_EQ(launch_mode({"p", "--MCP"}), LaunchMode::companion);
}

TEST(LaunchOptionsParse, BenchLists) {
  auto o = parse_launch_options({"p", "--bench", "50, 200,x,1000"}, std::nullopt);
  ASSERT_TRUE(o.bench);
  EXPECT_EQ(*o.bench, (std::vector<std::size_t>{50, 200, 1000}));
  o = parse_launch_options({"p", "--bench", "none"}, std::nullopt);
  ASSERT_TRUE(o.bench);
  EXPECT_TRUE(o.bench->empty());
  o = parse_launch_options({"p", "--bench"}, std::nullopt);
  EXPECT_FALSE(o.bench);
  o = parse_launch_options({"p", "--bench", ",,+7,"}, std::nullopt);
  EXPECT_EQ(*o.bench, std::vector<std::size_t>{7});
}

TEST(LaunchOptionsParse, MaxBuddiesAndFlags) {
  EXPECT_EQ(crew_limit(parse_launch_options({"p", "--max-buddies", "0"}, {}).max_buddies), 1u);
  EXPECT_EQ(crew_limit(parse_launch_options({"p", "--max-buddies", "5000"}, {}).max_buddies), 200u);
  EXPECT_EQ(crew_limit(parse_launch_options({"p", "--max-buddies", "ten"}, {}).max_buddies), 200u);
  EXPECT_EQ(crew_limit(parse_launch_options({"p", "--max-buddies", "+12"}, {}).max_buddies), 12u);
  const auto o = parse_launch_options({"p", "--headless", "--software", "--bench-menu"}, {});
  EXPECT_TRUE(o.headless && o.software && o.bench_menu);
  EXPECT_FALSE(o.unleashed || o.background);
}

TEST(LaunchOptionsParse, ScaleClampsAndRounds) {
  const auto scale = [](const char* v, bool unleashed) {
    const auto o = parse_launch_options({"p", "--scale", v}, {});
    return scaled_size(9.0, o.scale, unleashed);
  };
  EXPECT_EQ(scale("40", false), 12.0);
  EXPECT_EQ(scale("40", true), 40.0);
  EXPECT_EQ(scale("0.2", false), 1.0);
  EXPECT_EQ(scale("3.5", false), 4.0);
  EXPECT_EQ(scale("2.5", false), 3.0);
  EXPECT_EQ(scale("1e1", false), 10.0);
  EXPECT_EQ(scale("+.5e1", false), 5.0);
  EXPECT_EQ(scale("7.", false), 7.0);
  // Only decimal numbers count; anything else keeps the saved size.
  for (const char* v : {"abc", "nan", "inf", "Infinity", "-inf", "0x10", "", ".", "1e", "1e+",
                        "e5", "--1", "+-1", "1.2.3", " 3", "3 "}) {
    EXPECT_EQ(scale(v, true), 9.0) << v;
  }
  // Beyond the range of a double: huge saturates, tiny is zero, whatever the exponent's case.
  EXPECT_EQ(scale("1E-400", false), 1.0);
  EXPECT_EQ(scale("1e-400", false), 1.0);
  EXPECT_EQ(scale("0.000001E-400", false), 1.0);
  EXPECT_EQ(scale("1E400", true), 300.0);
  EXPECT_EQ(scale("1e400", false), 12.0);
  EXPECT_EQ(scale(("1" + std::string(400, '0') + "e-10").c_str(), false), 12.0);
  EXPECT_EQ(scale("-1e400", true), 1.0);
}

TEST(WindowsCommandLine, SplitsLikeTheRuntime) {
  EXPECT_EQ(split_windows_command_line(R"("C:\Program Files\p.exe" --port 5)"),
            (Args{R"(C:\Program Files\p.exe)", "--port", "5"}));
  EXPECT_EQ(split_windows_command_line(R"(p.exe "a b"	c)"), (Args{"p.exe", "a b", "c"}));
  EXPECT_EQ(split_windows_command_line(R"(p a\\\"b "c\\" d\e)"),
            (Args{"p", R"(a\"b)", R"(c\)", R"(d\e)"}));
  EXPECT_EQ(split_windows_command_line(R"(p "say ""hi""")"), (Args{"p", R"(say "hi")"}));
  EXPECT_EQ(split_windows_command_line(R"(p "")"), (Args{"p", ""}));
  EXPECT_EQ(split_windows_command_line("p   "), (Args{"p"}));
}

TEST(CrashLog, TextAndFile) {
  EXPECT_EQ(crash_log_text("src/x.cpp:3: boom"), "Perchkin 0.10.0\nsrc/x.cpp:3: boom\n");
  const auto dir = std::filesystem::temp_directory_path() / "perchkin-crash-test";
  std::filesystem::remove_all(dir);
  const auto path = dir / "a" / "crash.log";
  ASSERT_TRUE(write_crash_log(path, "first"));
  ASSERT_TRUE(write_crash_log(path, "second"));
  {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "Perchkin 0.10.0\nsecond\n");
  }
  std::filesystem::remove_all(dir);
}

[[gnu::noinline, maybe_unused]] void throw_uncaught() { throw std::runtime_error("boom"); }

TEST(CrashHookDeathTest, UncaughtExceptionNamesTheCodeThatThrewIt) {
#ifdef _WIN32
  GTEST_SKIP() << "checked by hand on Windows";
#else
  const auto dir = std::filesystem::temp_directory_path() / "perchkin-crash-site";
  std::filesystem::remove_all(dir);
  testing_env::set("PERCHKIN_SETTINGS", (dir / "settings.json").string());
  testing_env::unset("DISPLAY");  // no dialog may wait for a click
  EXPECT_EXIT(
      {
        install_crash_hook();
        // Outside the test's own exception handling, as in any thread of the program.
        std::thread(throw_uncaught).join();
      },
      ::testing::ExitedWithCode(1), "Perchkin crashed");
  testing_env::unset("PERCHKIN_SETTINGS");

  std::ifstream in(dir / "crash.log", std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::smatch m;
  const std::string log = text.str();
  ASSERT_TRUE(std::regex_match(log, m,
                               std::regex("Perchkin 0\\.10\\.0\n[^\n/]+\\+0x([0-9a-f]+)[^\n]*"
                                          ": uncaught exception: boom\n")))
      << log;
  // The offset lies inside the function that threw, not in the hook or the runtime.
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&throw_uncaught), &info), 0);
  const auto function = reinterpret_cast<std::uintptr_t>(&throw_uncaught) -
                        reinterpret_cast<std::uintptr_t>(info.dli_fbase);
  const std::uintptr_t offset = std::stoull(m[1].str(), nullptr, 16);
  EXPECT_GE(offset, function) << log;
  EXPECT_LT(offset, function + 256) << log;
  std::filesystem::remove_all(dir);
#endif
}

}  // namespace
}  // namespace perchkin
