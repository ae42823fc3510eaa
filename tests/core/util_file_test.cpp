#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "core/errors.h"
#include "core/file_read.h"
#include "core/util.h"
#include "core_test_support.h"

using Lines = std::vector<std::string>;

namespace {

const std::filesystem::path dataDir = std::filesystem::path(SKLM_TEST_DATA_DIR) / "core";

template <typename F>
std::uint32_t conversionCode(F convert, std::uint32_t expectedDirection) {
  try {
    convert();
  } catch (const win32::Utf8ConversionException& e) {
    EXPECT_EQ(e.direction(), expectedDirection);
    return e.errorCode();
  }
  return 0;
}

}  // namespace

TEST(UtilEncoding, Utf8AndUtf16RoundTripWithSurrogatePair) {
  const std::string text = "A\xC3\x84\xE2\x82\xAC\xF0\x9F\x98\x80";  // A, U+00C4, U+20AC, U+1F600
  const std::u16string wide = gf_utf8ToUtf16(text);
  EXPECT_EQ(wide, (std::u16string{u'A', 0x00C4, 0x20AC, 0xD83D, 0xDE00}));
  EXPECT_EQ(gf_utf16ToUtf8(wide), text);
  EXPECT_EQ(gf_utf8ToUtf16(""), u"");
  EXPECT_EQ(gf_utf16ToUtf8(u""), "");
  EXPECT_EQ(gf_utf8ToUtf16(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
  const std::string edges = "\x7F\xDF\xBF\xEF\xBF\xBF\xF4\x8F\xBF\xBF";  // last of each length
  EXPECT_EQ(gf_utf16ToUtf8(gf_utf8ToUtf16(edges)), edges);
  // The same units in the system's wide type, the pair beyond the basic plane kept whole.
  const WideText system = gf_wideText(text);
  EXPECT_EQ(system, (WideText{WCHAR('A'), WCHAR(0x00C4), WCHAR(0x20AC), WCHAR(0xD83D), WCHAR(0xDE00)}));
  EXPECT_EQ(gf_textFromWide(system), text);
}

// On Windows a path made from the bytes of a std::string reads them in the
// narrow code page; the helpers must keep every character, the one outside
// the basic plane included, in the name the system sees.
TEST(UtilEncoding, PathsFromUtf8TextKeepEveryCharacter) {
  ScratchFolder folder;
  const std::string name = "Zo\xC3\xAB \xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x9B\xA9.txt";  // Zoë 東京 U+1F6E9
  const std::filesystem::path file = folder.path() / gf_pathFromUtf8(name);
  EXPECT_TRUE(file.filename().u8string() == u8"Zo\u00EB \u6771\u4EAC \U0001F6E9.txt");
  EXPECT_EQ(gf_pathToUtf8(file.filename()), name);
  EXPECT_EQ(gf_pathToUtf8(gf_pathFromUtf8("")), "");
  ASSERT_TRUE(gf_writeFile("x", file, false));
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
    found.push_back(gf_pathToUtf8(entry.path().filename()));
  EXPECT_EQ(found, Lines{name});
  EXPECT_EQ(readBytes(gf_pathFromUtf8(gf_pathToUtf8(file))), "x");

  // Bytes that are no UTF-8 give a path all the same: on Linux the bytes, on
  // Windows U+FFFD for each bad sequence.
  const std::pair<std::string, std::string> bad[] = {{"a\xFF" "b", "a\uFFFDb"},
                                                     {"\xE2\x82" "x\xC3", "\uFFFDx\uFFFD"},
                                                     {"\xED\xA0\x80.txt", "\uFFFD.txt"}};
  for (const auto& [text, windows] : bad) {
    const std::filesystem::path path = gf_pathFromUtf8(text);
#ifdef _WIN32
    EXPECT_EQ(gf_pathToUtf8(path), windows);
#else
    EXPECT_EQ(gf_pathToUtf8(path), text);
#endif
    EXPECT_FALSE(std::filesystem::exists(folder.path() / path));
  }
}

TEST(UtilEncoding, InvalidInputThrowsCode1113) {
  constexpr auto fromUtf8 = win32::Utf8ConversionException::FROM_UTF8;
  constexpr auto fromUtf16 = win32::Utf8ConversionException::FROM_UTF16;
  for (const std::string bad : {"\xC3\x28", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                                "\xF8\x88\x80\x80\x80", "\x80", "ab\xE2\x82", "\xFF"}) {
    EXPECT_EQ(conversionCode([&] { gf_utf8ToUtf16(bad); }, fromUtf8), 1113u) << bad.size();
  }
  for (const std::u16string& bad : {std::u16string{0xD800}, std::u16string{0xDC00, u'a'},
                                   std::u16string{u'a', 0xD83D, u'b'}, std::u16string{0xDE00, 0xD83D}}) {
    EXPECT_EQ(conversionCode([&] { gf_utf16ToUtf8(bad); }, fromUtf16), 1113u);
  }
  const auto message = [](auto convert) -> std::string {
    try {
      convert();
    } catch (const std::runtime_error& e) {
      return e.what();
    }
    return "no exception";
  };
  EXPECT_EQ(message([] { gf_utf8ToUtf16("\xC0\xAF"); }), "Invalid UTF-8 sequence found in input string.");
  EXPECT_EQ(message([] { gf_utf16ToUtf8(std::u16string{0xD800}); }),
            "Invalid UTF-16 sequence found in input string.");
}

TEST(UtilEncoding, DetectEncodingFromTheByteOrderMark) {
  EXPECT_EQ(gf_detectEncoding(dataDir / "utf16le_crlf.txt"), ENC_UNICODE);
  EXPECT_EQ(gf_detectEncoding(dataDir / "utf16be_crlf.txt"), ENC_UNICODE_BIG_ENDIAN);
  EXPECT_EQ(gf_detectEncoding(dataDir / "utf8_bom_crlf.txt"), ENC_UTF8_WITH_BOM);
  EXPECT_EQ(gf_detectEncoding(dataDir / "utf8_partial_bom.txt"), ENC_ANSI);  // EF BB without BF
  EXPECT_EQ(gf_detectEncoding(dataDir / "ansi_lf.txt"), ENC_ANSI);
  EXPECT_EQ(gf_detectEncoding(dataDir / "one_byte.txt"), ENC_ANSI);
  EXPECT_EQ(gf_detectEncoding(dataDir / "empty.txt"), ENC_ANSI);
}

TEST(UtilEncoding, DetectEncodingOfAMissingFileLogsAndGives5) {
  LogCapture log;
  const auto missing = dataDir / "no_such_file.txt";
  EXPECT_EQ(gf_detectEncoding(missing), ENC_NONE_FOUND);
  EXPECT_EQ(log.lines(), Lines{"cannot open file " + missing.string() + " for character encoding, err: 2"});
}

TEST(UtilEncoding, Utf16FilesReadTheSameInBothByteOrders) {
  Lines little;
  EXPECT_TRUE(gf_readUtf16File(ENC_UNICODE, dataDir / "utf16le_crlf.txt", little));
  EXPECT_EQ(little, (Lines{"a", "b", ""}));
  Lines big;
  EXPECT_TRUE(gf_readUtf16File(ENC_UNICODE_BIG_ENDIAN, dataDir / "utf16be_crlf.txt", big));
  EXPECT_EQ(big, little);
  Lines noMark{"kept"};  // appended; big-endian without a mark
  EXPECT_TRUE(gf_readUtf16File(ENC_UNICODE_BIG_ENDIAN, dataDir / "utf16be_nobom.txt", noMark));
  EXPECT_EQ(noMark, (Lines{"kept", "Z\xC3\xBCrich"}));
}

TEST(UtilEncoding, Utf16LinesKeepTheirLastCharacterWithoutCarriageReturn) {
  Lines lines;
  EXPECT_TRUE(gf_readUtf16File(ENC_UNICODE, dataDir / "utf16le_mixed.txt", lines));
  EXPECT_EQ(lines, (Lines{"Z\xC3\xBCrich", "Gen\xC3\xA8ve", "", "\xF0\x9F\x98\x80 last"}));
}

TEST(UtilEncoding, BadUtf16FileKeepsEarlierLinesAndShowsTheCode) {
  RecordingSink sink;
  Lines lines;
  EXPECT_FALSE(gf_readUtf16File(ENC_UNICODE, dataDir / "utf16le_lone_surrogate.txt", lines));
  EXPECT_EQ(lines, Lines{"ok"});
  lines.clear();
  EXPECT_FALSE(gf_readUtf16File(ENC_UNICODE, dataDir / "utf16le_odd_byte.txt", lines));
  EXPECT_EQ(lines, Lines{"ok"});
  EXPECT_EQ(sink.messages, (Lines{"conversion from error from utf16 to utf8, code: 1113",
                                  "conversion from error from utf16 to utf8, code: 1113"}));
  EXPECT_FALSE(gf_readUtf16File(ENC_UNICODE, dataDir / "no_such_file.txt", lines));
}

TEST(UtilEncoding, NarrowFilesDropTheUtf8MarkAndCarriageReturns) {
  Lines lines;
  EXPECT_TRUE(gf_readUtf16File(ENC_UTF8_WITH_BOM, dataDir / "utf8_bom_crlf.txt", lines));
  EXPECT_EQ(lines, (Lines{"Z\xC3\xBCrich", "Bern"}));
  Lines lf, crlf;
  EXPECT_TRUE(gf_readUtf16File(ENC_ANSI, dataDir / "ansi_lf.txt", lf));
  EXPECT_TRUE(gf_readUtf16File(ENC_ANSI, dataDir / "ansi_crlf.txt", crlf));
  EXPECT_EQ(lf, (Lines{"alpha", "beta, gamma", "", "  last"}));
  EXPECT_EQ(crlf, lf);
  EXPECT_FALSE(gf_readUtf16File(ENC_ANSI, dataDir / "no_such_file.txt", lines));
}

TEST(UtilFiles, ReadLinesDropsOneCarriageReturnPerLine) {
  std::istringstream stream("a\r\r\nb\rc\n\r\n");
  Lines lines;
  gf_readLines(stream, lines);
  EXPECT_EQ(lines, (Lines{"a\r", "b\rc", ""}));
}

TEST(UtilFiles, ReadFileGivesLinesOrNull) {
  FileLines crlf{dataDir / "ansi_crlf.txt", {}};
  FileLines lf{dataDir / "ansi_lf.txt", {}};
  ASSERT_NE(gf_readFile(crlf, 10), nullptr);
  EXPECT_EQ(gf_readFile(lf, 0), &lf.lines);
  EXPECT_EQ(crlf.lines, lf.lines);
  FileLines empty{dataDir / "empty.txt", {}};
  EXPECT_EQ(gf_readFile(empty, 5), nullptr);
  FileLines missing{dataDir / "no_such_file.txt", {}};
  EXPECT_EQ(gf_readFile(missing, 5), nullptr);
}

TEST(UtilFiles, WritersTruncateAndReportFailure) {
  ScratchFolder folder;
  const auto file = folder / "out.txt";
  writeBytes(file, "previous content that is longer");
  EXPECT_TRUE(gf_writeFile("abc", file, true));
  EXPECT_EQ(readBytes(file), withLineEnds("abc\n"));
  EXPECT_TRUE(gf_writeFile("abc", file, false));
  EXPECT_EQ(readBytes(file), "abc");
  EXPECT_TRUE(gf_writeTextFile({"one", "", "three"}, file));
  EXPECT_EQ(readBytes(file), withLineEnds("one\n\nthree\n"));
  EXPECT_TRUE(gf_writeTextFile({}, file));
  EXPECT_EQ(readBytes(file), "");

  EXPECT_FALSE(gf_writeFile("x", folder / "missing" / "out.txt", true));
  EXPECT_FALSE(gf_writeTextFile({"x"}, folder / "missing" / "out.txt"));
  if (std::filesystem::exists("/dev/full")) {  // opens, but every write fails
    EXPECT_FALSE(gf_writeFile("x", "/dev/full", true));
    EXPECT_FALSE(gf_writeTextFile({"x"}, "/dev/full"));
  }
}

TEST(UtilFiles, SaveXmlFileLogsTheOutcome) {
  ScratchFolder folder;
  LogCapture log;
  pugi::xml_document document;
  document.append_child("parameters").append_child("parameter").append_attribute("name") = "LOG";
  const auto file = folder / "parameters.xml";
  EXPECT_TRUE(gf_saveXmlFile(document, file));
  pugi::xml_document loaded;
  ASSERT_TRUE(loaded.load_file(file.c_str()));
  EXPECT_EQ(gf_xmlAttrString(loaded.child("parameters").child("parameter"), "name"), "LOG");
  const auto bad = folder / "missing" / "x.xml";
  EXPECT_FALSE(gf_saveXmlFile(document, bad));
  EXPECT_EQ(log.lines(),
            (Lines{"\"" + gf_pathToUtf8(file) + "\" saved", "could not save to \"" + gf_pathToUtf8(bad) + "\""}));

  // Loading: only a regular file within the size asked for reaches the parser;
  // whatever failed leaves the document empty and says why.
  std::filesystem::create_directory(folder / "folder.xml");
  writeBytes(folder / "broken.xml", "<parameters><parameter");
  struct Row {
    std::filesystem::path file;
    std::uintmax_t maxBytes;
    const char* reason;  // empty: loaded
  };
  const auto check = [](const Row& row) {
    SCOPED_TRACE(gf_pathToUtf8(row.file));
    pugi::xml_document read;
    read.append_child("left");
    const XmlFileLoad result = gf_loadXmlFile(read, row.file, row.maxBytes);
    EXPECT_EQ(static_cast<bool>(result), *row.reason == '\0');
    EXPECT_STREQ(result.description(), row.reason);
    EXPECT_EQ(static_cast<bool>(read.child("parameters")), *row.reason == '\0');
    EXPECT_FALSE(read.child("left"));
  };
  for (const Row& row : {Row{file, UINTMAX_MAX, ""}, Row{file, 20, "is larger than 20 bytes"},
                         Row{folder / "missing.xml", UINTMAX_MAX, "File was not found"},
                         Row{folder / "folder.xml", UINTMAX_MAX, "is a folder, not a file"},
                         Row{folder / "broken.xml", UINTMAX_MAX, "Error parsing start element tag"}}) {
    check(row);
  }
  // A device last: on Windows the rows above are checked before the skip.
#ifdef _WIN32
  GTEST_SKIP() << "no device to load: the Windows build's C++ library makes no symbolic links, and what it "
                  "reports of a device name (NUL, CON) is that it does not exist";
#endif
  std::filesystem::create_symlink("/dev/null", folder / "device.xml");
  check({folder / "device.xml", UINTMAX_MAX, "is not a regular file"});
}

TEST(UtilFiles, BackupKeepsTwoCopies) {
  ScratchFolder folder;
  const auto log = folder / "Log.txt";
  gf_backupFile(log);  // nothing there: nothing made
  EXPECT_EQ(gf_countFiles(folder.path()), 0);

  writeBytes(log, "A");
  gf_backupFile(log);
  EXPECT_EQ(readBytes(folder / "Log0.txt"), "A");
  EXPECT_FALSE(std::filesystem::exists(folder / "Log00.txt"));

  writeBytes(log, "B");
  gf_backupFile(log);
  EXPECT_EQ(readBytes(folder / "Log00.txt"), "A");
  EXPECT_EQ(readBytes(folder / "Log0.txt"), "B");
  EXPECT_EQ(readBytes(log), "B");
}

TEST(UtilFiles, BackupTakesTheExtensionOfTheFileNameOnly) {
  ScratchFolder folder;
  std::filesystem::create_directories(folder / "v1.2");
  const auto noExtension = folder / "v1.2" / "README";
  writeBytes(noExtension, "x");
  gf_backupFile(noExtension);
  EXPECT_EQ(gf_countFiles(folder / "v1.2"), 1);

  const auto dotted = folder / "v1.2" / "data.old.xml";
  writeBytes(dotted, "y");
  gf_backupFile(dotted);
  EXPECT_EQ(readBytes(folder / "v1.2" / "data.old0.xml"), "y");
}

TEST(UtilFiles, CountFilesCountsRegularFilesDirectlyInside) {
  ScratchFolder folder;
  EXPECT_EQ(gf_countFiles(folder / "missing"), 0);
  writeBytes(folder / "a.txt", "");
  writeBytes(folder / "b", "x");
  std::filesystem::create_directories(folder / "sub");
  writeBytes(folder / "sub" / "c.txt", "");
  EXPECT_EQ(gf_countFiles(folder.path()), 2);
  EXPECT_THROW(gf_countFiles(folder / "a.txt"), std::filesystem::filesystem_error);
}

TEST(UtilFiles, XmlAttributeReaders) {
  pugi::xml_document document;
  ASSERT_TRUE(document.load_string(
      R"(<p name="X" on="Yes" off="no" one="1" n="-42" big="99999999999" hex="0x10" d="2.5e1" bad="abc" e=""/>)"));
  const pugi::xml_node node = document.child("p");
  EXPECT_EQ(gf_xmlAttrString(node, "name"), "X");
  EXPECT_EQ(gf_xmlAttrString(pugi::xml_node(), "name"), "");
  EXPECT_TRUE(gf_xmlAttrBool(node, "on"));
  EXPECT_FALSE(gf_xmlAttrBool(node, "off"));
  EXPECT_FALSE(gf_xmlAttrBool(node, "missing"));
  EXPECT_EQ(gf_xmlAttrInt(node, "n"), -42);
  EXPECT_EQ(gf_xmlAttrInt(node, "big"), 2147483647);
  EXPECT_EQ(gf_xmlAttrInt(node, "hex"), 0);
  EXPECT_EQ(gf_xmlAttrInt(node, "missing"), 0);
  EXPECT_DOUBLE_EQ(gf_xmlAttrDouble(node, "d"), 25.0);
  EXPECT_DOUBLE_EQ(gf_xmlAttrDouble(node, "bad"), 0.0);
  EXPECT_DOUBLE_EQ(gf_xmlAttrDouble(node, "missing"), 0.0);
}
