#include "core/meta.h"

#include "core/clock.h"
#include "core/format.h"
#include "core/texts.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/parameters_xml.h"
#include "core/version.h"

namespace {

constexpr const char* kMetaName = "meta";
constexpr const char* kInfoName = "info";

bool lf_appendMetaInfo(pugi::xml_node meta, const std::string& itemName, const std::string& text) {
  return gf_appendNameValueElement(meta, kInfoName, itemName, text);
}

bool lf_readMetaItem(const pugi::xml_document& document, StringParameter& item) {
  try {
    const auto node = document.select_node(gf_metaItemPath(item.name).c_str()).node();
    item.setValue(node ? node.attribute(kValueAttribute.data()).as_string() : "");
    return static_cast<bool>(node);
  } catch (const pugi::xpath_exception& e) {
    gf_logText(e.result().description());
    return true;
  }
}

}  // namespace

bool gf_writeMeta(pugi::xml_document& document) {
  const auto block = document.append_child(kMetaName);
  const std::pair<const StringParameter&, std::string> items[] = {
      {meta::author, "Skylume"},
      {meta::version, gf_versionToString(ProgramVersion)},
      {meta::date, gf_dateStamp()},
      {meta::copyright, meta::copyright.value()},
      {meta::MSFS, MSFS_2020.value ? "2020" : "2024"},
  };
  for (const auto& [item, text] : items) {
    if (!lf_appendMetaInfo(block, item.name, text)) return false;
  }
  return true;
}

std::string gf_metaItemPath(const std::string& itemName) {
  return sk::format("/{}/{}[@{}='{}']", kMetaName, kInfoName, kNameAttribute, itemName);
}

bool gf_checkMeta(const pugi::xml_document& document) {
  for (StringParameter* item : {&meta::author, &meta::date, &meta::version}) {
    if (!lf_readMetaItem(document, *item)) {
      gf_log("meta data incorrect?");
      return false;
    }
  }
  return true;
}
