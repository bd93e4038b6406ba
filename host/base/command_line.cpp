#include "host/base/command_line.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

namespace tarrow::host {
namespace {

std::string inQuotes(const std::string& text) { return "\"" + text + "\""; }

// "a, b or c".
std::string listed(const std::vector<std::string>& words, const char* last) {
  std::string text;
  for (size_t k = 0; k < words.size(); ++k) {
    text += (k == 0 ? "" : k + 1 == words.size() ? std::string(" ") + last + " " : ", ") + words[k];
  }
  return text;
}

std::vector<std::string> commandNames(const CLI::App& app) {
  std::vector<std::string> names;
  for (const CLI::App* command : app.get_subcommands({})) names.push_back(command->get_name());
  return names;
}

std::vector<std::string> optionNames(const CLI::App& command) {
  std::vector<std::string> names;
  for (const CLI::Option* option : command.get_options()) {
    if (!option->nonpositional()) continue;
    const std::string all = option->get_name(false, true);  // "-h,--help"
    names.push_back(all.substr(all.rfind(',') + 1));
  }
  return names;
}

// "N: Threads for ..." or "SCENE: Scene file": what an option takes, from its help.
std::string takes(const CLI::App& command, const std::string& name) {
  const CLI::Option* option = command.get_option_no_throw(name);
  if (option == nullptr) return name;
  std::string text = option->get_expected_min() > 0 ? option->get_type_name() : "";
  if (!option->get_description().empty()) text += (text.empty() ? "" : ": ") + option->get_description();
  return text;
}

// The text of a message after the marker, or "" when the marker is not there.
std::string after(const std::string& message, std::string_view marker) {
  const size_t at = message.find(marker);
  return at == std::string::npos ? "" : message.substr(at + marker.size());
}

// The usage error, in words, without the command's name.
std::string usageReason(const CLI::App& app, const CLI::App* command, const CLI::ParseError& error) {
  const std::string message = error.what();
  const CLI::App& scope = command != nullptr ? *command : app;
  // CLI11 puts the option's name first, before ": ", in most of its messages.
  const std::string name = message.substr(0, message.find(": "));
  if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) {
    const std::string extra = after(message, "expected: ").substr(0, after(message, "expected: ").find(' '));
    if (command == nullptr && (extra.empty() || extra[0] != '-')) {
      return inQuotes(extra) + " is not a command; the commands are " + listed(commandNames(app), "and");
    }
    if (!extra.empty() && extra[0] == '-') {
      return extra + ": no such option; the options are " + listed(optionNames(scope), "and");
    }
    return inQuotes(extra) + ": one argument too many";
  }
  if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr) {
    if (message.starts_with("A subcommand") && !app.remaining().empty()) {
      const std::string first = app.remaining().front();
      if (first.starts_with('-'))
        return first + ": no such option; the options are " + listed(optionNames(app), "and");
      return inQuotes(first) + " is not a command; the commands are " + listed(commandNames(app), "and");
    }
    if (message.starts_with("A subcommand")) {
      return "a command is needed: " + listed(commandNames(app), "or");
    }
    const std::string missing = message.substr(0, message.find(" is required"));
    const CLI::Option* option = scope.get_option_no_throw(missing);
    if (option == nullptr) return message;
    return (option->nonpositional() ? missing + " " + option->get_type_name() : option->get_type_name()) +
           " is missing: " + option->get_description();
  }
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
    if (message.ends_with(" was given a disallowed flag override")) {
      // CLI11 names the flag without its dashes here.
      const std::string flag = message.substr(0, message.find(' '));
      return (flag.starts_with('-') ? flag : "--" + flag) + ": takes no value";
    }
    if (message.find(": At Most ") != std::string::npos) {
      return name + ": given more than once; it takes one " + takes(scope, name);
    }
    const std::string expected = after(message, " arguments to ");
    const std::string option = expected.empty() ? name : expected.substr(0, expected.find(','));
    return option + ": needs " + takes(scope, option);
  }
  if (dynamic_cast<const CLI::ConversionError*>(&error) != nullptr) {
    if (message.find("for a flag") != std::string::npos || message.find("true/false") != std::string::npos) {
      return name + ": takes no value";
    }
    const std::string option =
        message.starts_with("Could not convert: ")
            ? after(message, "convert: ").substr(0, after(message, "convert: ").find(" = "))
            : after(message, "allowed value for ");
    return option + ": not usable as " + takes(scope, option);
  }
  // Validation errors carry what the checks above say: "NAME: takes ..., not ...".
  return message;
}

}  // namespace

CLI::Validator wholeNumber(long long low, long long high) {
  const std::string range = "a whole number from " + std::to_string(low) + " to " + std::to_string(high);
  return CLI::Validator(
      [low, high, range](std::string& text) -> std::string {
        size_t digits = text.starts_with('-') || text.starts_with('+') ? 1 : 0;
        const bool number = text.size() > digits && text.size() - digits <= 18 &&
                            text.find_first_not_of("0123456789", digits) == std::string::npos;
        const long long value = number ? std::stoll(text) : 0;
        if (number && value >= low && value <= high) return "";
        return "takes " + range + ", not " + inQuotes(text);
      },
      "");
}

CLI::Validator oneOf(std::initializer_list<const char*> words) {
  std::vector<std::string> allowed(words.begin(), words.end());
  return CLI::Validator(
      [allowed](std::string& text) -> std::string {
        for (const std::string& word : allowed) {
          if (text == word) return "";
        }
        return "takes " + listed(allowed, "or") + ", not " + inQuotes(text);
      },
      "");
}

void describeCommand(CLI::App& command, std::vector<ExitStatus> statuses, const std::string& example) {
  statuses.push_back({0, "done"});
  statuses.push_back({kExitUsage, "the command line is wrong (one line says what)"});
  std::sort(statuses.begin(), statuses.end(),
            [](const ExitStatus& a, const ExitStatus& b) { return a.status < b.status; });
  std::string footer = "Exit status:\n";
  for (const ExitStatus& each : statuses) {
    const std::string number = std::to_string(each.status);
    footer += "  " + number + std::string(5 - std::min<size_t>(number.size(), 4), ' ') + each.meaning + "\n";
  }
  command.footer(footer + "\nExample:\n  " + example + "\n");
}

int runCommandLine(CLI::App& app, int argc, char** argv) {
  try {
    app.parse(argc, argv);
    return 0;
  } catch (const CLI::Success& done) {
    return app.exit(done);  // help or the version
  } catch (const CLI::RuntimeError& failed) {
    return failed.get_exit_code();  // the command has said why
  } catch (const CLI::ParseError& error) {
    const std::vector<CLI::App*> chosen = app.get_subcommands();
    const CLI::App* command = chosen.empty() ? nullptr : chosen.back();
    const std::string prefix =
        "tarrow-host" + (command != nullptr ? " " + command->get_name() : std::string());
    std::fprintf(stderr, "%s: %s\n", prefix.c_str(), usageReason(app, command, error).c_str());
    return kExitUsage;
  }
}

void addHelpCommand(CLI::App& app) {
  const std::vector<std::string> names = commandNames(app);
  CLI::App* help = app.add_subcommand("help", "Show the help of the program or of one command");
  auto topic = std::make_shared<std::string>();
  help->add_option("command", *topic, "The command: " + listed(names, "or"))->type_name("COMMAND");
  help->callback([&app, topic] {
    const CLI::App* command = topic->empty() ? &app : nullptr;
    for (const CLI::App* each : app.get_subcommands({})) {
      if (each->get_name() == *topic) command = each;
    }
    if (command == nullptr) {
      throw CLI::ValidationError(inQuotes(*topic) + " is not a command; the commands are " +
                                 listed(commandNames(app), "and"));
    }
    const std::string name = command == &app ? app.get_name() : app.get_name() + " " + command->get_name();
    std::fputs(app.get_formatter()->make_help(command, name, CLI::AppFormatMode::Normal).c_str(), stdout);
  });
}

}  // namespace tarrow::host
