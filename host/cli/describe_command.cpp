// vlmhost describe: every form a plug-in can open and every control on it, as text or JSON.
#include "cli/describe_command.h"

#include <iostream>
#include <nlohmann/json.hpp>

#include "run/exit_status.h"
#include "run/plugin_forms.h"
#include "vlm/error.h"

namespace vlm::host {
namespace {

using nlohmann::json;

std::string Quoted(const std::string& s) {
  return json(s).dump(-1, ' ', false, json::error_handler_t::replace);
}

void PrintForm(const json& form, std::ostream& out) {
  out << "form " << form["name"].get<std::string>() << " "
      << Quoted(form["caption"].get<std::string>()) << ": " << form["controls"].size()
      << " controls\n";
  for (const json& c : form["controls"]) {
    out << "  " << c["name"].get<std::string>() << " (" << c["kind"].get<std::string>() << ")";
    if (!c["caption"].get<std::string>().empty()) {
      out << " " << Quoted(c["caption"].get<std::string>());
    } else if (!c["label"].get<std::string>().empty()) {
      out << " label " << Quoted(c["label"].get<std::string>());
    }
    if (!c["toolTip"].get<std::string>().empty())
      out << " tip " << Quoted(c["toolTip"].get<std::string>());
    if (!c["tab"].get<std::string>().empty()) out << " tab " << Quoted(c["tab"].get<std::string>());
    if (c.contains("value"))
      out << " = "
          << (c["value"].is_string() ? Quoted(c["value"].get<std::string>()) : c["value"].dump());
    if (c.contains("min")) out << " (" << c["min"].dump() << ".." << c["max"].dump() << ")";
    if (c.contains("entries")) {
      out << " entries [";
      std::string sep;
      for (const json& e : c["entries"])
        out << sep << Quoted(e.get<std::string>()), sep = ", ";
      out << "]";
    }
    if (!c["enabled"].get<bool>()) out << " disabled";
    if (!c["visible"].get<bool>()) out << " hidden";
    out << "\n";
  }
}

}  // namespace

int DescribeCommand(const std::string& progId, bool asJson, std::ostream& out, std::ostream& err) {
  int status = ExitOk;
  json result;
  try {
    result = DescribeForms(progId, err, status);
  } catch (const Error& e) {
    err << "error: " << e.Description() << "\n";
    return ExitBadInput;
  }
  if (status != ExitOk && result["forms"].empty()) return status;
  if (asJson) {
    out << result.dump(2, ' ', false, json::error_handler_t::replace) << "\n";
  } else if (result["forms"].empty() && status == ExitOk) {
    out << progId << " has no forms of its own (it shows at most message and input boxes)\n";
  } else {
    out << progId << ": " << result["forms"].size() << " forms\n";
    for (const json& form : result["forms"])
      PrintForm(form, out);
  }
  return status;
}

}  // namespace vlm::host
