// tests/dk/common/content/DKCC2Mime_test.cpp

#include <dk/DKCC2Mime.hpp>

#include "dkTestSupport.hpp"

namespace {

namespace fs = std::filesystem;

TEST(DKCC2Mime, MappingLinesFirstWinsAndLongLinesSkippedWhole) {
    dktest::TempDir dir;
    const std::string fit = "fit=" + std::string(400 - 4, 'f');
    dktest::writeFile(dir / "m.ini", "# txt=comment\ntxt=text/plain\r\nTXT=text/upper\ntxt=second\n c = text/x-c \r\n"
                                     "noequals\nlong=" + std::string(400, 'l') + "\r\n" + fit + "\r\nlast=end");
    DKCC2Mime m((dir / "m.ini").c_str());
    const dktest::Texts got = {m.getProperty("txt").str(), m.getProperty("TXT").str(), m.getProperty("c").str(),
                               m.getProperty("tx").str(),  m.getProperty("long").str(), m.getProperty("last").str(),
                               m.getProperty("# txt").str()};
    EXPECT_EQ((dktest::Texts{"text/plain", "text/upper", "text/x-c", "", "", "end", ""}), got);
    EXPECT_EQ(std::string(400 - 4, 'f'), m.getProperty("fit").str());
    DKCC2Mime missing("no/such.ini");
    EXPECT_EQ(dktest::msg(303, " [no/such.ini]"), dktest::failureOf<DKUsageError>([&] { missing.getProperty("x"); }).text);
}

// The default file comes from the VTCFGDIR entry of $NVLVTROOT/vtgmt/vtxvtenv.properties.
TEST(DKCC2Mime, EnvironmentFileNamesTheFolder) {
    dktest::TempDir dir;
    const fs::path folder = dir / "a\\b";   // a backslash in a name: doubled in the file, single here
    fs::create_directories(folder);
    dktest::writeFile(folder / "vtxcc2mime.ini", "pdf=application/pdf\n");
    const fs::path env = dktest::runRoot() / "vtgmt" / "vtxvtenv.properties";
    fs::create_directories(env.parent_path());
    dktest::writeFile(env, "A=1;VTCFGDIR=/long" + std::string(130, 'x') + "\nA=1;;B=2\nX=1;VTCFGDIR=" + dir.str() +
                               "/a\\\\b;Y=2\nVTCFGDIR=/later\n");
    DKCC2Mime m;
    EXPECT_EQ("vtxcc2mime.ini", m.getFileName().str());
    EXPECT_EQ("application/pdf", m.getProperty("pdf").str());
    EXPECT_EQ((folder / "vtxcc2mime.ini").string(), m.getFileName().str());
    EXPECT_EQ("", DKCC2Mime::processVTXVTENV((dir / "none").c_str()).str());
    fs::remove(env);
}

}  // namespace
