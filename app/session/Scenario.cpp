#include "session/Scenario.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <set>
#include <sstream>
#include <utility>

#include "ui/FormDescription.h"

namespace qfw::session {

ScenarioError::ScenarioError(std::string file, std::uint32_t line, const std::string& problem)
    : std::runtime_error(problem), file_(std::move(file)), line_(line), problem_(problem) {}

std::string ScenarioError::Message() const {
  // One line, whatever the problem's text holds.
  std::string problem = problem_;
  for (char& ch : problem) {
    if (static_cast<unsigned char>(ch) < 0x20) ch = ' ';
  }
  if (line_ == 0) return file_ + ": " + problem;
  return file_ + ":" + std::to_string(line_) + ": " + problem;
}

namespace {

// Largest scenario file read; anything bigger is surely not a scenario.
constexpr std::uintmax_t kLargestScenario = 16u * 1024u * 1024u;
// Longest delay a rule may give, so that a real-time run cannot hang for days.
constexpr std::int64_t kLongestDelayMs = 3'600'000;

const char* TypeName(const toml::node& node) {
  switch (node.type()) {
    case toml::node_type::table:
      return "a table";
    case toml::node_type::array:
      return "an array";
    case toml::node_type::string:
      return "a string";
    case toml::node_type::integer:
      return "an integer";
    case toml::node_type::floating_point:
      return "a floating-point number";
    case toml::node_type::boolean:
      return "a boolean";
    case toml::node_type::date:
      return "a date";
    case toml::node_type::time:
      return "a time";
    case toml::node_type::date_time:
      return "a date-time";
    default:
      return "nothing";
  }
}

std::uint32_t LineOf(const toml::node& node, std::uint32_t fallback) {
  const auto line = node.source().begin.line;
  return line != 0 ? static_cast<std::uint32_t>(line) : fallback;
}

// One table of the scenario as the reader goes through it: the keys it never
// looks up are reported as unknown, so that a misspelt key does not pass
// unnoticed. Every failure names the file and the line of the value at fault.
class Table {
 public:
  Table(const toml::table& table, std::string name, const std::string& file,
        std::uint32_t fallbackLine)
      : table_(table), name_(std::move(name)), file_(file) {
    line_ = LineOf(table, fallbackLine);
    // A table opened implicitly by a dotted header has no place of its own:
    // name the line of its first key.
    if (line_ == 0) {
      for (auto&& [key, node] : table_) {
        line_ = LineOf(node, static_cast<std::uint32_t>(key.source().begin.line));
        break;
      }
    }
  }

  std::uint32_t Line() const { return line_; }
  const std::string& Name() const { return name_; }

  [[noreturn]] void Fail(std::uint32_t line, const std::string& problem) const {
    throw ScenarioError(file_, line != 0 ? line : line_, problem);
  }
  [[noreturn]] void Fail(const toml::node& node, const std::string& problem) const {
    Fail(LineOf(node, line_), problem);
  }

  const toml::node* Find(std::string_view key) {
    used_.insert(std::string(key));
    return table_.get(key);
  }
  bool Has(std::string_view key) const { return table_.contains(key); }

  std::optional<std::int64_t> Integer(std::string_view key, std::int64_t min, std::int64_t max) {
    const toml::node* node = Find(key);
    if (node == nullptr) return std::nullopt;
    const auto* value = node->as_integer();
    const std::string range =
        "an integer from " + std::to_string(min) + " to " + std::to_string(max);
    if (value == nullptr) {
      Fail(*node, Where(key) + " must be " + range + ", not " + TypeName(*node));
    }
    const std::int64_t v = value->get();
    if (v < min || v > max) {
      Fail(*node, Where(key) + " must be " + range + ", not " + std::to_string(v));
    }
    return v;
  }

  std::optional<std::string> String(std::string_view key) {
    const toml::node* node = Find(key);
    if (node == nullptr) return std::nullopt;
    const auto* value = node->as_string();
    if (value == nullptr) {
      Fail(*node, Where(key) + " must be a string, not " + TypeName(*node));
    }
    return value->get();
  }

  std::optional<bool> Boolean(std::string_view key) {
    const toml::node* node = Find(key);
    if (node == nullptr) return std::nullopt;
    const auto* value = node->as_boolean();
    if (value == nullptr) {
      Fail(*node, Where(key) + " must be true or false, not " + TypeName(*node));
    }
    return value->get();
  }

  const toml::array* Array(std::string_view key) {
    const toml::node* node = Find(key);
    if (node == nullptr) return nullptr;
    const auto* value = node->as_array();
    if (value == nullptr) {
      Fail(*node, Where(key) + " must be an array, not " + TypeName(*node));
    }
    return value;
  }

  const toml::table* SubTable(std::string_view key) {
    const toml::node* node = Find(key);
    if (node == nullptr) return nullptr;
    const auto* value = node->as_table();
    if (value == nullptr) {
      Fail(*node, Where(key) + " must be a table, not " + TypeName(*node));
    }
    return value;
  }

  // The tables of an array of tables ([[name]]), with their positions.
  std::vector<const toml::table*> Tables(std::string_view key) {
    std::vector<const toml::table*> tables;
    const toml::array* array = Array(key);
    if (array == nullptr) return tables;
    for (const toml::node& element : *array) {
      const auto* table = element.as_table();
      if (table == nullptr) {
        Fail(element,
             "every element of " + Where(key) + " must be a table, not " + TypeName(element));
      }
      tables.push_back(table);
    }
    return tables;
  }

  // The first key that nobody looked up.
  void RejectUnknownKeys() const {
    for (auto&& [key, node] : table_) {
      if (used_.count(std::string(key.str())) == 0) {
        const auto line = key.source().begin.line;
        Fail(line != 0 ? static_cast<std::uint32_t>(line) : LineOf(node, line_),
             "unknown key '" + std::string(key.str()) + "' in " + name_);
      }
    }
  }

  std::string Where(std::string_view key) const { return "'" + std::string(key) + "' in " + name_; }

 private:
  const toml::table& table_;
  std::string name_;
  const std::string& file_;
  std::uint32_t line_ = 0;
  std::set<std::string> used_;
};

int HexDigit(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  return -1;
}

// Pairs of hexadecimal digits, optionally separated by blanks.
std::optional<std::string> ParseHex(std::string_view text) {
  std::string bytes;
  std::size_t i = 0;
  while (i < text.size()) {
    if (std::isspace(static_cast<unsigned char>(text[i])) != 0) {
      ++i;
      continue;
    }
    if (i + 1 >= text.size()) return std::nullopt;
    const int high = HexDigit(text[i]);
    const int low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return bytes;
}

// "0xNN" or "NN": one byte in hexadecimal.
std::optional<std::uint8_t> ParseHexByte(std::string_view text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    text.remove_prefix(2);
  if (text.size() != 2) return std::nullopt;
  const int high = HexDigit(text[0]);
  const int low = HexDigit(text[1]);
  if (high < 0 || low < 0) return std::nullopt;
  return static_cast<std::uint8_t>(high * 16 + low);
}

// "09/85/00": sense key, ASC and ASCQ in hexadecimal.
std::optional<simbus::Sense> ParseSense(std::string_view text) {
  if (text.size() != 8 || text[2] != '/' || text[5] != '/') return std::nullopt;
  const auto key = ParseHexByte(text.substr(0, 2));
  const auto asc = ParseHexByte(text.substr(3, 2));
  const auto ascq = ParseHexByte(text.substr(6, 2));
  if (!key || !asc || !ascq) return std::nullopt;
  return simbus::Sense{*key, *asc, *ascq};
}

class Reader {
 public:
  Reader(const std::string& file, Scenario& scenario) : file_(file), scenario_(scenario) {}

  void Read(const toml::table& root) {
    Table top(root, "the scenario", file_, 1);
    if (const toml::table* catalogue = top.SubTable("catalogue")) ReadCatalogue(*catalogue);
    int fileNumber = 0;
    for (const toml::table* file : top.Tables("file")) ReadFile(*file, ++fileNumber);
    // Without [bus]: a simulated bus with adapter 0 and no device.
    if (const toml::table* bus = top.SubTable("bus")) ReadBus(*bus);
    if (const toml::table* user = top.SubTable("user")) ReadUser(*user);
    top.RejectUnknownKeys();
  }

 private:
  void AddFile(ScenarioFile entry, const Table& where) {
    for (const auto& other : scenario_.files) {
      if (other.name == entry.name) {
        where.Fail(entry.line, "the file '" + entry.name + "' is given twice (first on line " +
                                   std::to_string(other.line) + ")");
      }
    }
    scenario_.files.push_back(std::move(entry));
  }

  void ReadCatalogue(const toml::table& table) {
    Table t(table, "[catalogue]", file_, 0);
    ScenarioFile entry;
    entry.name = std::string(kCatalogueName);
    entry.line = t.Line();
    const auto text = t.String("text");
    const auto hex = t.String("hex");
    t.RejectUnknownKeys();
    if (text.has_value() == hex.has_value()) {
      t.Fail(t.Line(), "[catalogue] needs exactly one of 'text' and 'hex'");
    }
    entry.kind = ScenarioFile::Kind::Bytes;
    if (text) {
      entry.bytes = *text;
    } else {
      auto bytes = ParseHex(*hex);
      if (!bytes) t.Fail(t.Line(), "'hex' in [catalogue] must be pairs of hexadecimal digits");
      entry.bytes = std::move(*bytes);
    }
    AddFile(std::move(entry), t);
  }

  void ReadFile(const toml::table& table, int number) {
    Table t(table, "[[file]] " + std::to_string(number), file_, 0);
    ScenarioFile entry;
    entry.line = t.Line();
    const auto name = t.String("name");
    if (!name) t.Fail(t.Line(), t.Name() + " needs a 'name'");
    CheckFileName(*name, t);
    entry.name = *name;

    const auto text = t.String("text");
    const auto hex = t.String("hex");
    const auto size = t.Integer("size", 0, static_cast<std::int64_t>(kLargestGeneratedFile));
    const auto pattern = t.String("pattern");
    const auto source = t.String("source");
    const auto absent = t.Boolean("absent");
    t.RejectUnknownKeys();

    const int contents = int(text.has_value()) + int(hex.has_value()) + int(size.has_value()) +
                         int(source.has_value()) + int(absent.value_or(false));
    if (contents != 1) {
      t.Fail(t.Line(), t.Name() + " ('" + entry.name +
                           "') needs exactly one of 'text', 'hex', 'size', 'source' and "
                           "'absent = true'");
    }
    if (pattern && !size) t.Fail(t.Line(), "'pattern' in " + t.Name() + " needs a 'size'");

    if (text) {
      entry.kind = ScenarioFile::Kind::Bytes;
      entry.bytes = *text;
    } else if (hex) {
      auto bytes = ParseHex(*hex);
      if (!bytes) t.Fail(t.Line(), "'hex' in " + t.Name() + " must be pairs of hexadecimal digits");
      entry.kind = ScenarioFile::Kind::Bytes;
      entry.bytes = std::move(*bytes);
    } else if (size) {
      entry.kind = ScenarioFile::Kind::Pattern;
      entry.size = static_cast<std::uint64_t>(*size);
      if (pattern && *pattern != "ramp") {
        const auto fill = ParseHexByte(*pattern);
        if (!fill || pattern->size() != 4) {
          t.Fail(t.Line(),
                 "'pattern' in " + t.Name() + " must be \"ramp\" or a byte such as \"0x5A\"");
        }
        entry.ramp = false;
        entry.fill = *fill;
      }
    } else if (source) {
      if (source->empty()) t.Fail(t.Line(), "'source' in " + t.Name() + " is empty");
      entry.kind = ScenarioFile::Kind::Source;
      const std::filesystem::path path(*source);
      entry.source = path.is_absolute() ? path : scenario_.directory / path;
    } else {
      entry.kind = ScenarioFile::Kind::Absent;
    }
    AddFile(std::move(entry), t);
  }

  // A relative path that stays inside the working directory.
  static void CheckFileName(const std::string& name, const Table& t) {
    const std::filesystem::path path(name);
    bool bad = name.empty() || path.is_absolute() || name.back() == '/' ||
               name.find('\0') != std::string::npos;
    for (const auto& part : path) {
      if (part == ".." || part == ".") bad = true;
    }
    if (bad) {
      t.Fail(t.Line(), "the name '" + name + "' in " + t.Name() +
                           " must be a relative file name inside the working directory");
    }
  }

  void ReadBus(const toml::table& table) {
    Table t(table, "[bus]", file_, 0);
    scenario_.busLine = t.Line();
    const auto kind = t.String("kind");
    if (kind && *kind != "simulated" && *kind != "real") {
      t.Fail(*t.Find("kind"), "'kind' in [bus] must be \"simulated\" or \"real\"");
    }
    scenario_.busKind = kind == "real" ? BusKind::Real : BusKind::Simulated;
    const auto time = t.String("time");
    if (time && *time != "virtual" && *time != "real") {
      t.Fail(*t.Find("time"), "'time' in [bus] must be \"virtual\" or \"real\"");
    }

    if (scenario_.busKind == BusKind::Real) {
      if (time == "virtual") {
        t.Fail(*t.Find("time"),
               "a real bus runs in real time: leave 'time' out or make it \"real\"");
      }
      scenario_.time = TimeKind::Real;
      for (const char* key : {"adapters", "support_info", "device"}) {
        if (t.Has(key)) {
          t.Fail(*t.Find(key), "'" + std::string(key) + "' in [bus] is only for a simulated bus");
        }
      }
      t.RejectUnknownKeys();
      return;
    }

    scenario_.time = time == "real" ? TimeKind::Real : TimeKind::Virtual;
    std::vector<std::uint8_t> adapters{0};
    if (const toml::array* list = t.Array("adapters")) {
      adapters.clear();
      for (const toml::node& element : *list) {
        const auto* value = element.as_integer();
        if (value == nullptr || value->get() < 0 || value->get() > 255) {
          t.Fail(element,
                 "every element of 'adapters' in [bus] must be an integer from 0 to 255, not " +
                     (value ? std::to_string(value->get()) : std::string(TypeName(element))));
        }
        const auto ha = static_cast<std::uint8_t>(value->get());
        if (std::find(adapters.begin(), adapters.end(), ha) != adapters.end()) {
          t.Fail(element, "adapter " + std::to_string(ha) + " is listed twice in 'adapters'");
        }
        adapters.push_back(ha);
      }
    }
    scenario_.bus.adapters = adapters;
    const auto supportInfo = t.Integer("support_info", 0, 0xFFFFFFFF);
    scenario_.bus.supportInfo =
        supportInfo ? static_cast<std::uint32_t>(*supportInfo)
                    : static_cast<std::uint32_t>(std::min<std::size_t>(adapters.size(), 255));
    int number = 0;
    for (const toml::table* device : t.Tables("device")) ReadDevice(*device, ++number);
    t.RejectUnknownKeys();
  }

  void ReadDevice(const toml::table& table, int number) {
    Table t(table, "[[bus.device]] " + std::to_string(number), file_, 0);
    simbus::DeviceConfig device;
    const auto ha = t.Integer("ha", 0, 255);
    const auto target = t.Integer("target", 0, 255);
    if (!ha || !target) t.Fail(t.Line(), t.Name() + " needs 'ha' and 'target'");
    device.ha = static_cast<std::uint8_t>(*ha);
    device.target = static_cast<std::uint8_t>(*target);
    for (const auto& other : scenario_.bus.devices) {
      if (other.ha == device.ha && other.target == device.target) {
        t.Fail(t.Line(),
               "two devices at ha " + std::to_string(*ha) + ", target " + std::to_string(*target));
      }
    }
    device.peripheralType =
        static_cast<std::uint8_t>(t.Integer("type", 0, 255).value_or(DTYPE_CDROM));

    const auto vendor = t.String("vendor");
    const auto product = t.String("product");
    const auto revision = t.String("revision");
    const auto inquiry = t.String("inquiry");
    if (inquiry) {
      if (vendor || product || revision) {
        t.Fail(*t.Find("inquiry"),
               "'inquiry' in " + t.Name() + " replaces 'vendor', 'product' and 'revision'");
      }
      auto bytes = ParseHex(*inquiry);
      if (!bytes || bytes->size() > 255) {
        t.Fail(*t.Find("inquiry"), "'inquiry' in " + t.Name() +
                                       " must be up to 255 bytes as pairs of hexadecimal digits");
      }
      device.inquiryData.assign(bytes->begin(), bytes->end());
    } else {
      CheckLength(t, "vendor", vendor, 8);
      CheckLength(t, "product", product, 16);
      CheckLength(t, "revision", revision, 4);
      device.inquiryData = simbus::MakeInquiryData(vendor.value_or(""), product.value_or(""),
                                                   revision.value_or(""), device.peripheralType);
    }

    const auto newRevision = t.String("new_revision");
    CheckLength(t, "new_revision", newRevision, 4);
    device.firmware.newRevision = newRevision.value_or("");
    if (const auto require = t.Boolean("require_download_before_save")) {
      device.firmware.requireDownloadBeforeSave = *require;
    }
    if (const auto sense = t.String("sequence_error_sense")) {
      device.firmware.sequenceErrorSense = Sense(t, "sequence_error_sense", *sense);
    }
    if (const toml::table* bricked = t.SubTable("bricked_answer")) {
      device.firmware.brickedAnswer = ReadEnding(*bricked, t.Name() + " bricked_answer");
    }
    int number2 = 0;
    for (const toml::table* rule : t.Tables("rule")) {
      device.rules.push_back(ReadRule(*rule, t.Name() + " rule " + std::to_string(++number2)));
    }
    t.RejectUnknownKeys();
    scenario_.bus.devices.push_back(std::move(device));
  }

  static void CheckLength(Table& t, std::string_view key, const std::optional<std::string>& value,
                          std::size_t most) {
    if (value && value->size() > most) {
      t.Fail(*t.Find(key), t.Where(key) + " has at most " + std::to_string(most) + " characters");
    }
  }

  static simbus::Sense Sense(Table& t, std::string_view key, const std::string& text) {
    const auto sense = ParseSense(text);
    if (!sense) {
      t.Fail(*t.Find(key), t.Where(key) +
                               " must be sense key, ASC and ASCQ in hexadecimal, "
                               "such as \"09/85/00\"");
    }
    return *sense;
  }

  simbus::Ending ReadEnding(const toml::table& table, std::string name) {
    Table t(table, std::move(name), file_, 0);
    simbus::Ending ending;
    ending.status = static_cast<std::uint8_t>(t.Integer("status", 0, 255).value_or(SS_COMP));
    ending.haStat = static_cast<std::uint8_t>(t.Integer("ha_stat", 0, 255).value_or(HASTAT_OK));
    if (const auto sense = t.String("sense")) ending.sense = Sense(t, "sense", *sense);
    const auto targStat = t.Integer("targ_stat", 0, 255);
    ending.targStat =
        static_cast<std::uint8_t>(targStat.value_or(ending.sense ? STATUS_CHKCOND : STATUS_GOOD));
    t.RejectUnknownKeys();
    return ending;
  }

  simbus::Rule ReadRule(const toml::table& table, const std::string& name) {
    Table t(table, name, file_, 0);
    simbus::Rule rule;
    const auto command = t.String("command");
    if (!command) t.Fail(t.Line(), name + " needs a 'command'");
    if (*command == "test-unit-ready") {
      rule.command = simbus::CommandKind::TestUnitReady;
    } else if (*command == "inquiry") {
      rule.command = simbus::CommandKind::Inquiry;
    } else if (*command == "write-buffer") {
      rule.command = simbus::CommandKind::WriteBuffer;
    } else if (*command == "device-reset") {
      rule.command = simbus::CommandKind::DeviceReset;
    } else {
      t.Fail(*t.Find("command"), "'command' in " + name +
                                     " must be \"test-unit-ready\", \"inquiry\", "
                                     "\"write-buffer\" or \"device-reset\"");
    }
    rule.occurrence = static_cast<unsigned>(t.Integer("occurrence", 0, 1'000'000'000).value_or(0));

    const auto timing = t.String("timing").value_or("at-once");
    if (timing == "at-once") {
      rule.behaviour.timing = simbus::Timing::AtOnce;
    } else if (timing == "delayed") {
      rule.behaviour.timing = simbus::Timing::Delayed;
    } else if (timing == "never") {
      rule.behaviour.timing = simbus::Timing::Never;
    } else if (timing == "final-at-once") {
      rule.behaviour.timing = simbus::Timing::FinalAtOnce;
    } else {
      t.Fail(*t.Find("timing"), "'timing' in " + name +
                                    " must be \"at-once\", \"delayed\", \"never\" or "
                                    "\"final-at-once\"");
    }
    const auto delay = t.Integer("delay_ms", 0, kLongestDelayMs);
    if (delay && rule.behaviour.timing != simbus::Timing::Delayed) {
      t.Fail(*t.Find("delay_ms"), "'delay_ms' in " + name + " needs timing = \"delayed\"");
    }
    if (!delay && rule.behaviour.timing == simbus::Timing::Delayed) {
      t.Fail(t.Line(), name + " with timing = \"delayed\" needs 'delay_ms'");
    }
    rule.behaviour.delay = Millis(delay.value_or(0));
    const auto signal = t.Boolean("signal");
    if (signal && rule.behaviour.timing != simbus::Timing::FinalAtOnce) {
      t.Fail(*t.Find("signal"), "'signal' in " + name + " needs timing = \"final-at-once\"");
    }
    rule.behaviour.signalFinalAtOnce = signal.value_or(false);
    if (const toml::table* ending = t.SubTable("ending")) {
      rule.behaviour.ending = ReadEnding(*ending, name + " ending");
    }
    t.RejectUnknownKeys();
    return rule;
  }

  void ReadUser(const toml::table& table) {
    Table t(table, "[user]", file_, 0);
    const toml::array* steps = t.Array("steps");
    t.RejectUnknownKeys();
    if (steps == nullptr) return;
    int number = 0;
    for (const toml::node& element : *steps) {
      ++number;
      const auto line = LineOf(element, t.Line());
      const auto* text = element.as_string();
      if (text == nullptr) {
        t.Fail(line,
               "step " + std::to_string(number) + " must be a string, not " + TypeName(element));
      }
      Step step = ParseStep(text->get(), number, line, file_);
      if (step.kind == StepKind::CloseBox) scenario_.expectsBoxes = true;
      scenario_.steps.push_back(std::move(step));
    }
  }

  const std::string& file_;
  Scenario& scenario_;
};

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())) != 0) {
    text.remove_prefix(1);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())) != 0) {
    text.remove_suffix(1);
  }
  return text;
}

bool TakePrefix(std::string_view& text, std::string_view prefix) {
  if (text.substr(0, prefix.size()) != prefix) return false;
  text.remove_prefix(prefix.size());
  return true;
}

constexpr const char* kStepForms =
    "expected one of: select drive N, tick Update Enable, untick Update Enable, choose block "
    "size N, press UPDATE, press UPDATE All, press Exit, answer file dialog NAME, cancel file "
    "dialog, close box \"TEXT\"";

}  // namespace

std::optional<std::string> Unquote(std::string_view quoted) {
  if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') return std::nullopt;
  const std::string_view inner = quoted.substr(1, quoted.size() - 2);
  std::string text;
  for (std::size_t i = 0; i < inner.size(); ++i) {
    const char ch = inner[i];
    if (ch == '"') return std::nullopt;
    if (ch != '\\') {
      text.push_back(ch);
      continue;
    }
    if (i + 1 >= inner.size()) return std::nullopt;
    const char next = inner[i + 1];
    if (next == '"' || next == '\\') {
      text.push_back(next);
      i += 1;
    } else if (next == 'x' && i + 3 < inner.size()) {
      const auto byte = ParseHexByte(inner.substr(i + 2, 2));
      if (!byte) return std::nullopt;
      text.push_back(static_cast<char>(*byte));
      i += 3;
    } else {
      return std::nullopt;
    }
  }
  return text;
}

Step ParseStep(std::string_view written, int number, std::uint32_t line, const std::string& file) {
  Step step;
  const std::string_view text = Trim(written);
  step.text = std::string(text);
  step.number = number;
  step.line = line;
  const std::string where = "step " + std::to_string(number) + " (" + step.text + "): ";
  auto fail = [&](const std::string& problem) -> void {
    throw ScenarioError(file, line, where + problem);
  };

  std::string_view rest = text;
  if (text == "press UPDATE") {
    step.kind = StepKind::PressUpdate;
  } else if (text == "press UPDATE All") {
    step.kind = StepKind::PressUpdateAll;
  } else if (text == "press Exit") {
    step.kind = StepKind::PressExit;
  } else if (text == "tick Update Enable") {
    step.kind = StepKind::TickUpdateEnable;
  } else if (text == "untick Update Enable") {
    step.kind = StepKind::UntickUpdateEnable;
  } else if (text == "cancel file dialog") {
    step.kind = StepKind::CancelFileDialog;
  } else if (TakePrefix(rest, "select drive ")) {
    step.kind = StepKind::SelectDrive;
    rest = Trim(rest);
    if (rest.empty() || rest.size() > 3 || !std::all_of(rest.begin(), rest.end(), [](char c) {
          return std::isdigit(static_cast<unsigned char>(c)) != 0;
        })) {
      fail("the drive line must be a number from 0 to 999, counted from 0");
    }
    step.driveLine = std::stoi(std::string(rest));
  } else if (TakePrefix(rest, "choose block size ")) {
    step.kind = StepKind::ChooseBlockSize;
    rest = Trim(rest);
    const auto& items = ControlSpecOf(ControlId::ComboBoxBufferSize).items;
    if (std::find(items.begin(), items.end(), rest) == items.end()) {
      std::string choices;
      for (const auto& item : items) choices += (choices.empty() ? "" : ", ") + std::string(item);
      fail("the block size must be one of the list's items: " + choices);
    }
    step.argument = std::string(rest);
  } else if (TakePrefix(rest, "answer file dialog ")) {
    step.kind = StepKind::AnswerFileDialog;
    rest = Trim(rest);
    if (!rest.empty() && rest.front() == '"') {
      const auto name = Unquote(rest);
      if (!name) fail("the quoted file name is not closed or has a bad escape");
      step.argument = *name;
    } else {
      step.argument = std::string(rest);
    }
    if (step.argument.empty()) fail("the file name is missing");
  } else if (TakePrefix(rest, "close box ")) {
    step.kind = StepKind::CloseBox;
    const auto boxText = Unquote(Trim(rest));
    if (!boxText) {
      fail("the box's text must be written in double quotes, with \\xNN, \\\" and \\\\ escapes");
    }
    step.argument = *boxText;
  } else {
    fail(std::string("unknown step; ") + kStepForms);
  }
  return step;
}

Scenario ParseScenario(std::string_view text, const std::string& file) {
  Scenario scenario;
  scenario.file = file;
  scenario.directory = std::filesystem::path(file).parent_path();
  toml::table root;
  try {
    root = toml::parse(text, file);
  } catch (const toml::parse_error& error) {
    throw ScenarioError(file, static_cast<std::uint32_t>(error.source().begin.line),
                        std::string(error.description()));
  }
  Reader(file, scenario).Read(root);
  return scenario;
}

Scenario LoadScenario(const std::string& file) {
  std::error_code error;
  const auto status = std::filesystem::status(file, error);
  if (error || !std::filesystem::exists(status)) {
    throw ScenarioError(file, 0, "cannot open the scenario: no such file");
  }
  if (!std::filesystem::is_regular_file(status)) {
    throw ScenarioError(file, 0, "cannot open the scenario: not a regular file");
  }
  const auto size = std::filesystem::file_size(file, error);
  if (!error && size > kLargestScenario) {
    throw ScenarioError(file, 0, "the scenario is larger than 16 MiB");
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) throw ScenarioError(file, 0, "cannot open the scenario");
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) throw ScenarioError(file, 0, "cannot read the scenario");
  return ParseScenario(content.str(), file);
}

}  // namespace qfw::session
