#include "liveries/liveries_scanned.h"

#include <tuple>

#include "core/errors.h"
#include "core/file_read.h"
#include "core/format.h"
#include "core/log.h"
#include "core/meta.h"
#include "core/paths.h"
#include "core/util.h"

std::list<LiveryData> gScannedLiveries;

void lf_appendLiveryNode(pugi::xml_node parent, const LiveryData& livery) {
  pugi::xml_node node = parent.append_child("liv");
  node.append_attribute("airl").set_value(livery.airl.c_str());
  node.append_attribute("type").set_value(livery.type.c_str());
  if (livery.cargo) node.append_attribute("cargo").set_value("true");
  node.append_attribute("title").set_value(livery.title.c_str());
  if (!livery.atcid.empty()) node.append_attribute("atcid").set_value(livery.atcid.c_str());
}

void lf_saveLiveriesScanned() {
  if (gScannedLiveries.empty()) return;
  pugi::xml_document document;
  gf_writeMeta(document);
  pugi::xml_node liveries = document.append_child("liveries");
  for (const LiveryData& livery : gScannedLiveries) lf_appendLiveryNode(liveries, livery);
  gf_saveXmlFile(document, LiveriesScannedPath);
  gf_logText(sk::format("{} liveries in {}", gScannedLiveries.size(), gf_pathToUtf8(LiveriesScannedPath)));
}

void lf_readLiveriesScanned() {
  gScannedLiveries.clear();
  const std::string path = gf_pathToUtf8(LiveriesScannedPath);
  pugi::xml_document document;
  if (!gf_loadXmlFile(document, LiveriesScannedPath)) {
    throw qlx::UserErrorException(51, sk::format("File {} not found", path));
  }
  // gf_checkMeta catches and logs what the XPath engine throws.
  gf_checkMeta(document);
  const pugi::xml_node liveries = document.child("liveries");
  if (!liveries) throw qlx::UserErrorException(52, sk::format("{} does not contain a <liveries> section", path));
  for (const pugi::xml_node node : liveries.children("liv")) {
    gScannedLiveries.push_back({node.attribute("airl").as_string(), node.attribute("type").as_string(),
                                node.attribute("title").as_string(), node.attribute("atcid").as_string(), 0,
                                gf_xmlAttrBool(node, "cargo")});
  }
  if (gScannedLiveries.empty()) throw qlx::UserErrorException(533, path + " does not contain liveries");
  gf_logText(sk::format("{} liveries read from {}", gScannedLiveries.size(), path));
  gScannedLiveries.sort([](const LiveryData& a, const LiveryData& b) {
    return std::tie(a.airl, a.type, a.title) < std::tie(b.airl, b.type, b.title);
  });
}
