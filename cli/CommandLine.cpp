#include "cli/CommandLine.h"

#include <algorithm>
#include <cstdio>

#include "platform/Version.h"

namespace cli {

namespace {

const Option* FindShort(std::span<const Option> options, char c) {
  auto it = std::find_if(options.begin(), options.end(), [c](const Option& o) { return o.shortName == c; });
  return it == options.end() ? nullptr : &*it;
}

const Option* FindLong(std::span<const Option> options, std::string_view name) {
  auto it = std::find_if(options.begin(), options.end(), [name](const Option& o) { return o.longName == name; });
  return it == options.end() ? nullptr : &*it;
}

constexpr char kCommonOptionHelp[] =
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "  --             end of options: the next argument is a file name, even when\n"
    "                 it begins with '-'\n";

std::string Quoted(std::string_view s) { return "'" + std::string(s) + "'"; }

}  // namespace

bool Parsed::Has(std::string_view longName) const {
  return std::any_of(options.begin(), options.end(), [longName](const Given& g) { return g.name == longName; });
}

std::optional<std::string> Parsed::Value(std::string_view longName) const {
  auto it = std::find_if(options.rbegin(), options.rend(), [longName](const Given& g) { return g.name == longName; });
  if (it == options.rend()) return std::nullopt;
  return it->value;
}

Parsed Parse(std::span<const Option> options, std::span<const char* const> args) {
  Parsed out;
  size_t i = 0;
  // The value of an option that takes one: `rest` when not empty, else the next argument.
  auto take = [&](const Option& o, std::string_view rest, std::string_view spelled) {
    if (!rest.empty()) {
      out.options.push_back({o.longName, std::string(rest)});
    } else if (i + 1 < args.size()) {
      out.options.push_back({o.longName, args[++i]});
    } else {
      out.error = "option " + Quoted(spelled) + " needs a value";
    }
  };
  for (; i < args.size() && out.error.empty(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--") {
      out.operands.insert(out.operands.end(), args.begin() + static_cast<ptrdiff_t>(i) + 1, args.end());
      break;
    }
    if (arg.size() < 2 || arg[0] != '-') {
      out.operands.emplace_back(arg);
    } else if (arg[1] == '-') {
      const size_t eq = arg.find('=');
      const std::string_view spelled = arg.substr(0, eq);
      const Option* o = FindLong(options, spelled.substr(2));
      if (!o) {
        out.error = "unknown option " + Quoted(spelled);
      } else if (o->takesValue) {
        if (eq != std::string_view::npos && eq + 1 == arg.size())
          out.error = "option " + Quoted(spelled) + " needs a value";
        else
          take(*o, eq == std::string_view::npos ? std::string_view() : arg.substr(eq + 1), spelled);
      } else if (eq != std::string_view::npos) {
        out.error = "option " + Quoted(spelled) + " takes no value";
      } else {
        out.options.push_back({o->longName, {}});
      }
    } else {
      for (size_t k = 1; k < arg.size() && out.error.empty(); ++k) {
        const std::string spelled = std::string("-") + arg[k];
        const Option* o = FindShort(options, arg[k]);
        if (!o) {
          out.error = "unknown option " + Quoted(spelled);
        } else if (o->takesValue) {
          take(*o, arg.substr(k + 1), spelled);
          break;
        } else {
          out.options.push_back({o->longName, {}});
        }
      }
    }
  }
  return out;
}

Parsed Parse(const Program& program, int argc, const char* const* argv) {
  return Parse(program.options, std::span<const char* const>(argv + 1, argc > 1 ? static_cast<size_t>(argc - 1) : 0));
}

std::optional<int> Answer(const Program& program, const Parsed& parsed) {
  const std::string name(program.name);
  auto usageError = [&](const std::string& error) {
    std::fprintf(stderr, "%s: %s\n%.*sTry '%s --help' for more information.\n", name.c_str(), error.c_str(),
                 static_cast<int>(program.usage.size()), program.usage.data(), name.c_str());
    return 2;
  };
  if (!parsed.error.empty()) return usageError(parsed.error);
  if (parsed.Has(kHelp.longName)) {
    const std::string help = std::string(program.usage) + std::string(program.description) + "\nOptions:\n" +
                             std::string(program.optionHelp) + kCommonOptionHelp + "\nExit status:\n" +
                             std::string(program.exitStatus);
    std::fputs(help.c_str(), stdout);
    return 0;
  }
  if (parsed.Has(kVersion.longName)) {
    std::printf("%s\n", VersionText(program.name).c_str());
    return 0;
  }
  if (parsed.operands.size() < program.minOperands) return usageError("missing file operand");
  if (parsed.operands.size() > program.maxOperands)
    return usageError("extra operand " + Quoted(parsed.operands[program.maxOperands]));
  return std::nullopt;
}

std::string VersionText(std::string_view programName) { return std::string(programName) + " " LUMESKAR_VERSION; }

}  // namespace cli
