// tests/dk/common/workflow/dkWorkFlowAction_test.cpp
//
// The workflow bases: icons and diagram texts through real files and back, the file failures,
// buffers that are never read past and never shared by copies (run under AddressSanitizer), and
// every refusal's exact text.

#include <dk/dkWorkFlowAction.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>

using dktest::failureOf;
using dktest::msg;

namespace {
// The first n bytes of an action's icon buffer, its closing zero checked.
std::string held(dkWorkFlowAction& a, std::size_t n) {
    EXPECT_EQ('\0', a.getIconData()[n]);
    return std::string(a.getIconData(), n);
}
}  // namespace

TEST(dkWorkFlowIcons, RoundTripThroughAFileKeepsEveryByte) {
    dktest::TempDir dir;
    const std::string file = (dir / "icon").string();
    std::string all(1 << 20, '\0');
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<char>(i);
    for (const std::string& bytes : {std::string(), std::string("\xff", 1), all}) {
        // Exactly the caller's bytes, on the heap, so a read past them is caught.
        std::unique_ptr<char[]> source(new char[bytes.size()]);
        std::memcpy(source.get(), bytes.data(), bytes.size());
        dkWorkFlowAction out(nullptr, "n", "d"), in;
        out.setIconDataLen(static_cast<long>(bytes.size()));
        out.setIconData(source.get());
        out.getIconDataToFile(file.c_str());
        EXPECT_EQ(bytes, dktest::readFile(file));
        in.setIconDataLen(3);
        in.setIconData("old");
        in.setIconDataFromFile(file.c_str());
        EXPECT_EQ(static_cast<long>(bytes.size()), in.getIconDataLen());
        // A file of 0 bytes leaves the buffer set before.
        EXPECT_EQ(bytes.empty() ? "old" : bytes, held(in, bytes.empty() ? 3 : bytes.size()));
    }
}

TEST(dkWorkFlowIcons, BuffersAreNeverReadPastNorShared) {
    dktest::TempDir dir;
    const std::string file = (dir / "icon").string();
    dkWorkFlowAction a;
    EXPECT_EQ(303, dktest::usageError([&] { a.setIconDataLen(-1); }));
    a.setIconDataLen(3);
    a.setIconData("abc");
    a.setIconDataLen(10);   // beyond the buffer: what there is is written, then 362
    EXPECT_EQ(362, dktest::errorOf<DKXDOError>([&] { a.getIconDataToFile(file.c_str()); }));
    EXPECT_EQ("abc", dktest::readFile(file));
    a.setIconData(nullptr);
    EXPECT_EQ(362, dktest::errorOf<DKXDOError>([&] { a.getIconDataToFile(file.c_str()); }));
    a.setIconDataLen(2);
    a.setIconData("xy");
    a.setIconData(a.getIconData());   // from its own buffer
    dkWorkFlowAction b(a), c;
    c = a;
    dktest::assignToItself(c);
    a.setIconData("zz");
    EXPECT_EQ("xy", held(b, 2));
    EXPECT_EQ("xy", held(c, 2));
}

TEST(dkWorkFlowDiagrams, TextRoundTripsCopiesDeeplyAndEndsAtAZeroByte) {
    dktest::TempDir dir;
    const std::string file = (dir / "diagram").string(), text = "<diagram>\n  line\n</diagram>\n";
    dkWorkFlowDiagram d, e;
    d.setData(text.c_str());
    d.getDataToFile(file.c_str());
    e.setDataFromFile(file.c_str());
    dkWorkFlowDiagram copy(e), assigned;
    assigned = e;
    dktest::assignToItself(assigned);
    e.setData("");   // no text, and an empty file
    e.getDataToFile(file.c_str());
    EXPECT_EQ("", dktest::readFile(file));
    EXPECT_EQ("", e.getData().str());
    EXPECT_EQ(text, copy.getData().str());
    EXPECT_EQ(text, assigned.getData().str());
    dktest::writeFile(file, std::string("head\0tail", 9));
    e.setDataFromFile(file.c_str());
    EXPECT_EQ("head", e.getData().str());
}

TEST(dkWorkFlowFiles, FailuresNameTheFile) {
    dktest::TempDir dir;
    dktest::writeFile(dir / "plain", "x");
    const std::string missing = (dir / "missing").string(), folder = dir.str(),
                      noParent = (dir / "none" / "f").string(), underFile = (dir / "plain" / "f").string();
    dkWorkFlowAction a;
    a.setIconDataLen(1);
    a.setIconData("i");
    dkWorkFlowDiagram d;
    d.setData("t");
    struct Row { std::function<void()> call; long id; std::string name; const char* function; };
    const Row rows[] = {
        {[&] { a.setIconDataFromFile(missing.c_str()); }, 358, missing, "dkWorkFlowAction::setIconDataFromFile"},
        {[&] { a.setIconDataFromFile(folder.c_str()); }, 358, folder, "dkWorkFlowAction::setIconDataFromFile"},
        {[&] { d.setDataFromFile(folder.c_str()); }, 358, folder, "dkWorkFlowDiagram::setDataFromFile"},
        {[&] { a.getIconDataToFile(noParent.c_str()); }, 360, noParent, "dkWorkFlowAction::getIconDataToFile"},
        {[&] { d.getDataToFile(underFile.c_str()); }, 360, underFile, "dkWorkFlowDiagram::getDataToFile"},
        {[&] { a.getIconDataToFile("/dev/full"); }, 362, "", "dkWorkFlowAction::getIconDataToFile"},
        {[&] { d.getDataToFile("/dev/full"); }, 362, "", "dkWorkFlowDiagram::getDataToFile"},
    };
    for (const Row& r : rows) {
        const dktest::Failure f = failureOf<DKXDOError>(r.call);
        EXPECT_EQ(r.id, f.id) << r.function << " " << r.name;
        EXPECT_EQ(msg(r.id, r.name.empty() ? "" : "(" + r.name + ")"), f.text);
        EXPECT_EQ(r.function, f.function);
    }
    EXPECT_EQ("i", held(a, 1));   // a failed read keeps the icon
    EXPECT_EQ("t", d.getData().str());
}

TEST(dkWorkFlowRefusals, RepositoryOperationsNameClassAndOperation) {
    dkWorkFlowAction a;
    dkWorkFlowActionList l;
    dkWorkFlowDiagram d;
    long count = 0;
    // An operation and its call on each class that refuses it (action, list, diagram).
    struct Row { const char* op; std::function<void()> calls[3]; };
    const Row rows[] = {
        {"checkin", {[&] { a.checkin(); }, [&] { l.checkin(); }, [&] { d.checkin(); }}},
        {"checkout", {[&] { a.checkout(); }, [&] { l.checkout(); }, [&] { d.checkout(); }}},
        {"unlockCheckedOut", {[&] { a.unlockCheckedOut(); }, [&] { l.unlockCheckedOut(); }, [&] { d.unlockCheckedOut(); }}},
        {"getCheckedOutUserid", {[&] { a.getCheckedOutUserid(); }, [&] { l.getCheckedOutUserid(); }, [&] { d.getCheckedOutUserid(); }}},
        {"add", {[&] { a.add(); }, [&] { l.add(); }, [&] { d.add(); }}},
        {"del", {[&] { a.del(); }, [&] { l.del(); }, [&] { d.del(); }}},
        {"update", {[&] { a.update(); }, [&] { l.update(); }, [&] { d.update(); }}},
        {"retrieve", {[&] { a.retrieve(); }, [&] { l.retrieve(); }, [&] { d.retrieve(); }}},
        {"getAction", {[&] { a.getAction(); }}},
        {"setAction", {[&] { a.setAction("x"); }}},
        {"getWorkFlowActions", {nullptr, [&] { l.getWorkFlowActions(); }}},
        {"addWorkFlowAction", {nullptr, [&] { l.addWorkFlowAction(&a); }}},
        {"listWorkFlowActionNames", {nullptr, [&] { l.listWorkFlowActionNames(count); }}},
        {"removeAllWorkFlowActions", {nullptr, [&] { l.removeAllWorkFlowActions(); }}},
        {"removeWorkFlowAction", {nullptr, [&] { l.removeWorkFlowAction("x"); }}},
        {"setWorkFlowActions", {nullptr, [&] { l.setWorkFlowActions(nullptr); }}},
    };
    const std::string classes[] = {"dkWorkFlowAction", "dkWorkFlowActionList", "dkWorkFlowDiagram"};
    for (const Row& r : rows)
        for (int i = 0; i < 3; ++i) {
            if (!r.calls[i]) continue;
            const std::string name = classes[i] + "::" + r.op;
            const dktest::Failure f = failureOf<DKUsageError>(r.calls[i]);
            EXPECT_EQ(341, f.id) << name;
            EXPECT_EQ(msg(341, name), f.text);
            EXPECT_EQ("dk/common/" + classes[i], f.source);
            EXPECT_EQ(name, f.function);
        }
}
