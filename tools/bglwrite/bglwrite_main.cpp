// bglwrite LAYOUT.json OUT.bgl
//
// The layout file lists the sections in file order:
// {"header_size": 56, "trailing_bytes": 0, "section_count": n,
//  "sections": [
//    {"type": 3, "size_code_bit": false, "filler_bytes": 0, "data_size": n,
//     "records": [
//       {"icao": "EGLL", "altitude_mm": 25000, "compiled2024": false, "parking_count": n,
//        "helipads": [{"lat": 51.47, "lon": -0.45, "size": 20}],
//        "spots": [{"name": 10, "type": 8, "number": 12, "airlines": 0, "radius": 30,
//                   "heading": 90, "lat": 51.47, "lon": -0.45}]},
//       {"raw_id": 153, "size": 70}]},
//    {"type": 101, "filler_bytes": 4096}]}
// Keys left out take the values shown above as defaults (0 / false / none).
#include <fstream>
#include <iostream>
#include <sstream>

#include "tools/bglwrite/bglwrite.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: bglwrite LAYOUT.json OUT.bgl\n";
    return 2;
  }
  std::ifstream layout(argv[1], std::ios::binary);
  if (!layout) {
    std::cerr << "cannot read " << argv[1] << "\n";
    return 1;
  }
  std::ostringstream text;
  text << layout.rdbuf();
  try {
    if (!bglw::gf_writeBgl(bglw::gf_parseSpec(text.str()), argv[2])) {
      std::cerr << "cannot write " << argv[2] << "\n";
      return 1;
    }
  } catch (const std::exception& error) {
    std::cerr << error.what() << "\n";
    return 1;
  }
  return 0;
}
