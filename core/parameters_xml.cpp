#include "core/parameters_xml.h"

#include <filesystem>
#include <functional>
#include <mutex>
#include <system_error>

#include "core/file_read.h"
#include "core/file_save.h"
#include "core/format.h"
#include "core/log_throttle.h"
#include "core/message.h"
#include "core/texts.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/util.h"

namespace {

constexpr const char* kRootName = "parameters";
constexpr const char* kElementName = "parameter";

// Guards every load-change-save cycle of parameters.xml.
std::mutex& lf_fileMutex() {
  static std::mutex mutex;
  return mutex;
}

bool lf_isLfolderKey(const std::string& key) { return key.find("lfolder") != std::string::npos; }

const char* lf_boolText(bool flag) { return flag ? "true" : "false"; }

pugi::xml_node lf_selectParameterNode(const pugi::xml_document& document, const std::string& key) {
  try {
    return document.select_node(gf_findParameterNode(key).c_str()).node();
  } catch (const pugi::xpath_exception& e) {
    gf_log(sk::format("lf_selectParameterNode {}: {}", key, e.result().description()));
    return {};
  }
}

enum class FileLoad { Loaded, Missing, Failed };

FileLoad lf_loadDocument(pugi::xml_document& document, const std::filesystem::path& file) {
  std::error_code error;
  if (std::filesystem::status(file, error).type() == std::filesystem::file_type::not_found)
    return FileLoad::Missing;
  return gf_loadXmlFile(document, file) ? FileLoad::Loaded : FileLoad::Failed;
}

// The user's settings are never written over: a file that does not load is
// renamed aside first. False when it could not be, and nothing may be saved.
bool lf_keepUnloadable(const std::filesystem::path& file) {
  const std::filesystem::path kept = gf_moveAside(file);
  if (kept.empty()) {
    gf_log(sk::format("{} cannot be read nor moved aside; settings are not saved", gf_pathToUtf8(file)));
    return false;
  }
  gf_log(sk::format("{} cannot be read; kept as {}", gf_pathToUtf8(file), gf_pathToUtf8(kept)));
  gf_showNotice(sk::format("Settings file could not be read: kept as {}, default values taken",
                           gf_pathToUtf8(kept.filename())));
  return true;
}

// The user believes a setting is kept: a save that fails is shown, once a
// minute at most.
void lf_reportSaveFailure(const std::filesystem::path& file) {
  static LogThrottle shown(1, {}, std::chrono::minutes(1));
  if (shown.admit()) gf_showNotice(sk::format("Settings could not be saved to {}", gf_pathToUtf8(file)));
}

void lf_logParameter(const StringParameter& parameter) {
  gf_logText(sk::format("{}={}", parameter.name, parameter.value()));
}
void lf_logBoolParameter(const BoolParameter& parameter) {
  gf_logText(sk::format("{}={}", parameter.name, lf_boolText(parameter.value)));
}
void lf_logIntParameter(const IntParameter& parameter) {
  gf_logText(sk::format("{}={}", parameter.name, parameter.value));
}

bool lf_readBoolParameter(BoolParameter& parameter, const pugi::xml_document& document) {
  const auto node = lf_selectParameterNode(document, parameter.name);
  parameter.value = node ? node.attribute(kValueAttribute.data()).as_bool() : parameter.defaultValue;
  lf_logBoolParameter(parameter);
  return static_cast<bool>(node);
}

bool lf_readStringNode(StringParameter& parameter, const pugi::xml_document& document) {
  const auto node = lf_selectParameterNode(document, parameter.name);
  parameter.setValue(node ? node.attribute(kValueAttribute.data()).as_string() : parameter.defaultValue);
  return static_cast<bool>(node);
}

bool lf_readStringParameter(StringParameter& parameter, const pugi::xml_document& document) {
  const bool found = lf_readStringNode(parameter, document);
  lf_logParameter(parameter);
  return found;
}

// An empty lfolder is normal (most users set none), so it is not logged.
bool lf_readLfolderParameter(StringParameter& parameter, const pugi::xml_document& document) {
  const bool found = lf_readStringNode(parameter, document);
  if (!parameter.value().empty()) lf_logParameter(parameter);
  return found;
}

// Removes the key's element from the document being loaded; the load then saves
// the document, so the file loses the element with it.
void lf_removeParameterNode(pugi::xml_document& document, const StringParameter& parameter) {
  auto root = document.child(kRootName);
  const auto node = lf_selectParameterNode(document, parameter.name);
  if (root && node && node.parent() == root && root.remove_child(node))
    gf_log("Parameter " + parameter.name + " removed");
}

void lf_reportInitFailure(const std::string& key, const std::string& defaultText) {
  gf_log(sk::format("adding init xml parameter {} with {} failed!", key, defaultText));
}

void lf_initBoolParameter(BoolParameter& parameter, pugi::xml_node root) {
  if (!gf_appendBoolParameterNode(root, parameter.name, parameter.defaultValue))
    lf_reportInitFailure(parameter.name, lf_boolText(parameter.defaultValue));
  parameter.value = parameter.defaultValue;
  lf_logBoolParameter(parameter);
}

void lf_initIntParameter(IntParameter& parameter, pugi::xml_node root) {
  if (!gf_appendIntParameterNode(root, parameter.name, parameter.defaultValue))
    lf_reportInitFailure(parameter.name, std::to_string(parameter.defaultValue));
  parameter.value = parameter.defaultValue;
  lf_logIntParameter(parameter);
}

void lf_initStringParameter(StringParameter& parameter, pugi::xml_node root) {
  if (!gf_appendParameterNode(root, parameter.name, parameter.defaultValue))
    lf_reportInitFailure(parameter.name, parameter.defaultValue);
  parameter.setValue(parameter.defaultValue);
  lf_logParameter(parameter);
}

void lf_readOrAddString(StringParameter& parameter, pugi::xml_document& document, pugi::xml_node root) {
  if (lf_isLfolderKey(parameter.name)) {
    lf_readLfolderParameter(parameter, document);
    if (parameter.value().empty()) lf_removeParameterNode(document, parameter);
  } else if (!lf_readStringParameter(parameter, document) && root) {
    gf_appendParameterNode(root, parameter.name, parameter.value());
  }
}

// One per-key save: load, change the key's element (adding it, or its value
// attribute, when missing), save. textOf is asked under the lock, so the file
// always ends with the value that was current at the last save.
void lf_saveKey(const std::string& key, const std::function<std::string()>& textOf) {
  std::lock_guard lock(lf_fileMutex());
  const auto file = gf_parametersFile();
  pugi::xml_document document;
  const FileLoad load = lf_loadDocument(document, file);
  const std::string text = textOf();
  gf_logText(sk::format("{}={}", key, text));
  if (load == FileLoad::Failed && !lf_keepUnloadable(file)) {
    gf_log("saving xml did not work?");
    lf_reportSaveFailure(file);
    return;
  }
  auto root = document.child(kRootName);
  if (load != FileLoad::Loaded || !root) {
    root = document.append_child(kRootName);
    gf_appendParameterNode(root, key, text);
  } else if (auto node = lf_selectParameterNode(document, key)) {
    auto attribute = node.attribute(kValueAttribute.data());
    if (!attribute) attribute = node.append_attribute(kValueAttribute.data());
    attribute.set_value(text.c_str());
  } else {
    gf_appendParameterNode(root, key, text);
  }
  if (!gf_replaceXmlFile(document, file)) {
    gf_log("saving xml did not work?");
    lf_reportSaveFailure(file);
  }
}

}  // namespace

std::string gf_findParameterNode(const std::string& key) {
  return sk::format("/{}/{}[@{}='{}']", kRootName, kElementName, kNameAttribute, key);
}

bool gf_appendNameValueElement(pugi::xml_node parent, const char* element, const std::string& name,
                               const std::string& text) {
  if (parent.type() != pugi::node_element && parent.type() != pugi::node_document) return false;
  auto child = parent.append_child(element);
  if (!child) return false;
  auto nameAttribute = child.append_attribute(kNameAttribute.data());
  if (!nameAttribute || !nameAttribute.set_value(name.c_str())) return false;
  auto valueAttribute = child.append_attribute(kValueAttribute.data());
  return valueAttribute && valueAttribute.set_value(text.c_str());
}

bool gf_appendParameterNode(pugi::xml_node parent, const std::string& key, const std::string& text) {
  return gf_appendNameValueElement(parent, kElementName, key, text);
}

bool gf_appendIntParameterNode(pugi::xml_node parent, const std::string& key, std::int32_t number) {
  return gf_appendParameterNode(parent, key, std::to_string(number));
}

bool gf_appendBoolParameterNode(pugi::xml_node parent, const std::string& key, bool flag) {
  return gf_appendParameterNode(parent, key, lf_boolText(flag));
}

pugi::xml_attribute gf_findAttribute(pugi::xml_node node, const std::string& name) {
  return node ? node.attribute(name.c_str()) : pugi::xml_attribute();
}

bool gf_readIntParameter(IntParameter& parameter, const pugi::xml_document& document, bool log) {
  const auto node = lf_selectParameterNode(document, parameter.name);
  parameter.value =
      node ? parameter.clamped(node.attribute(kValueAttribute.data()).as_int()) : parameter.defaultValue;
  if (log) lf_logIntParameter(parameter);
  return static_cast<bool>(node);
}

void StringParameter::save() const {
  lf_saveKey(name, [this] { return value(); });
}

void BoolParameter::save() const {
  lf_saveKey(name, [this] { return std::string(lf_boolText(value)); });
}

void IntParameter::save() const {
  lf_saveKey(name, [this] { return std::to_string(value); });
}

void gf_loadParameters(const std::vector<BoolParameter*>& plainBools,
                       const std::vector<CheckboxParameter*>& checkboxes,
                       const std::vector<IntParameter*>& plainInts,
                       const std::vector<IntEditParameter*>& intEdits,
                       const std::vector<StringParameter*>& strings,
                       const std::vector<StringEditParameter*>& stringEdits) {
  {
    std::lock_guard lock(lf_fileMutex());
    const auto file = gf_parametersFile();
    const std::string fileText = gf_pathToUtf8(file);
    gf_logText(gf_bannerLine(70, 0, true, false, "parameters"));
    pugi::xml_document document;
    const FileLoad load = lf_loadDocument(document, file);
    const bool writable = load != FileLoad::Failed || lf_keepUnloadable(file);
    if (load != FileLoad::Loaded) {
      gf_logText(fileText + " not found, default values taken:");
      auto root = document.append_child(kRootName);
      for (auto* p : plainBools) if (p) lf_initBoolParameter(*p, root);
      for (auto* p : checkboxes) if (p) lf_initBoolParameter(*p, root);
      for (auto* p : plainInts) if (p) lf_initIntParameter(*p, root);
      for (auto* p : intEdits) if (p) lf_initIntParameter(*p, root);
      for (auto* p : strings) if (p && !lf_isLfolderKey(p->name)) lf_initStringParameter(*p, root);
      for (auto* p : stringEdits) if (p) lf_initStringParameter(*p, root);
    } else {
      gf_logText(sk::format("from \"{}\"", fileText));
      const auto root = document.child(kRootName);
      const auto readBool = [&](BoolParameter& p) {
        if (!lf_readBoolParameter(p, document) && root) gf_appendBoolParameterNode(root, p.name, p.value);
      };
      const auto readInt = [&](IntParameter& p) {
        if (!gf_readIntParameter(p, document, true) && root) gf_appendIntParameterNode(root, p.name, p.value);
      };
      for (auto* p : plainBools) if (p) readBool(*p);
      for (auto* p : checkboxes) if (p) readBool(*p);
      for (auto* p : plainInts) if (p) readInt(*p);
      for (auto* p : intEdits) if (p) readInt(*p);
      for (auto* p : strings) if (p) lf_readOrAddString(*p, document, root);
      for (auto* p : stringEdits) if (p) lf_readOrAddString(*p, document, root);
    }
    if (writable && gf_replaceXmlFile(document, file)) {
      gf_logText(sk::format("\"{}\" saved", fileText));
    } else {
      gf_logText(sk::format("could not save to \"{}\"", fileText));
      lf_reportSaveFailure(file);
    }
    gf_logText(gf_bannerLine(70, 10, false, true, ""));
  }
  // The window may be busy saving a setting of its own: never make it wait
  // for the file lock while it is asked to show a value.
  const auto hooks = gf_parameterControlHooks();
  for (auto* p : checkboxes) if (p && hooks.showCheck) hooks.showCheck(*p);
  for (auto* p : intEdits) if (p && hooks.showInt) hooks.showInt(*p);
  for (auto* p : stringEdits) if (p && hooks.showText) hooks.showText(*p);
}
