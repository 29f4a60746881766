// quire [GLOBAL OPTIONS] COMMAND ARGS...
// Exit status: 0 success, 1 an engine error (its message alone on a line of
// standard error), 2 a usage error or unreadable input.

#include <charconv>
#include <iostream>
#include <string>
#include <vector>

#include "Command.h"
#include "engine/Engine.h"
#include "engine/EngineError.h"
#include "engine/FileSession.h"

namespace quire::cli {
namespace {

constexpr int kUsageStatus = 2;
constexpr int kEngineStatus = 1;

constexpr char kUsage[] =
    "usage: quire [--password P]... [--exclusive] [--read-only] [--lock-retry N]\n"
    "             [--lock-wait MS] [--codepage cp874|latin1] COMMAND ARGS...\n"
    "commands: create TABLE DEF.json | info TABLE | insert TABLE [FILE]\n"
    "          | dump TABLE [--index NAME | --physical] [--reverse] [--from JSON] [--to JSON]\n"
    "                       [--limit N] [--recno]\n"
    "                       [--filter TEXT [--filter-options case-insensitive,no-partial]]\n"
    "          | update TABLE --index NAME --key JSON --set JSON\n"
    "          | delete TABLE (--index NAME --key JSON | --all) | empty TABLE\n"
    "          | check TABLE\n"
    "          | stress TABLE --processes N --seconds S [--kill-writers]\n"
    "          | sql DIR STATEMENT [--param VALUE]...\n";

unsigned long ParseNumber(const std::string& option, const std::string& text, unsigned long max) {
  unsigned long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > max)
    throw EUsageError(option + " needs a number from 0 to " + std::to_string(max));
  return value;
}

// Reads the global options; returns the index of the command's name.
std::size_t ParseGlobalOptions(const std::vector<std::string>& args, TGlobalOptions& options) {
  std::size_t i = 0;
  const auto value = [&](const std::string& option) -> const std::string& {
    if (i + 1 >= args.size()) throw EUsageError(option + " needs a value");
    return args[++i];
  };
  for (; i < args.size() && args[i].rfind("--", 0) == 0; ++i) {
    const std::string& option = args[i];
    if (option == "--password") {
      options.Passwords.push_back(value(option));
    } else if (option == "--exclusive") {
      options.Exclusive = true;
    } else if (option == "--read-only") {
      options.ReadOnly = true;
    } else if (option == "--lock-retry") {
      options.LockRetryCount = static_cast<std::uint8_t>(ParseNumber(option, value(option), 255));
    } else if (option == "--lock-wait") {
      options.LockWaitTime = static_cast<std::uint16_t>(ParseNumber(option, value(option), 65535));
    } else if (option == "--codepage") {
      const std::string& name = value(option);
      if (name == "cp874") {
        options.CodePage = TCodePage::Cp874;
      } else if (name == "latin1") {
        options.CodePage = TCodePage::Latin1;
      } else {
        throw EUsageError("--codepage takes cp874 or latin1, not " + name);
      }
    } else {
      throw EUsageError("unknown option " + option);
    }
  }
  if (i == args.size()) throw EUsageError("no command given");
  return i;
}

int Run(const std::vector<std::string>& args) {
  TGlobalOptions options;
  const std::size_t commandAt = ParseGlobalOptions(args, options);
  const TCommandFunction command = FindCommand(args[commandAt]);
  if (!command) throw EUsageError("unknown command " + args[commandAt]);
  TCommandContext context{options,
                          std::vector<std::string>(args.begin() + commandAt + 1, args.end()),
                          std::cout, std::cerr, TTextCodec(options.CodePage, std::cerr)};
  StartEngine();
  for (const std::string& password : options.Passwords)
    CurrentSession().AddPassword(context.Codec.ToBytes(password, "--password"));
  const int status = command(context);
  StopEngine();
  return status;
}

}  // namespace
}  // namespace quire::cli

int main(int argc, char** argv) {
  using namespace quire::cli;
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    return Run(args);
  } catch (const EUsageError& e) {
    std::cerr << "quire: " << e.what() << '\n' << kUsage;
    return kUsageStatus;
  } catch (const quire::EQuireEngineError& e) {
    std::cerr << e.what() << '\n';
    return kEngineStatus;
  } catch (const std::exception& e) {
    std::cerr << "quire: " << e.what() << '\n';
    return kEngineStatus;
  }
}
