// tests/dk/common/workflow/dkWorkFlowAction_test.cpp
//
// The workflow bases: icons and diagram texts through real files and back, the file failures,
// buffers that are never read past and never shared by copies (run under AddressSanitizer), and
// every refusal's exact text (the location each source gives its throws is dkThrow_test's).

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

// Gives a an icon of n bytes as a caller sets one: the length first, then the buffer.
void setIcon(dkWorkFlowAction& a, const char* data, long n) {
    a.setIconDataLen(n);
    a.setIconData(data);
}
}  // namespace

TEST(dkWorkFlowIcons, RoundTripsKeepEveryByteAndBuffersAreNeverReadPastNorShared) {
    dktest::TempDir dir;
    const std::string file = (dir / "icon").string();
    std::string all(1 << 20, '\0');
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<char>(i);
    for (const std::string& bytes : {std::string(), std::string("\xff", 1), all}) {
        // Exactly the caller's bytes, on the heap, so a read past them is caught.
        std::unique_ptr<char[]> source(new char[bytes.size()]);
        std::memcpy(source.get(), bytes.data(), bytes.size());
        dkWorkFlowAction out(nullptr, "n", "d"), in;
        setIcon(out, source.get(), static_cast<long>(bytes.size()));
        out.getIconDataToFile(file.c_str());
        EXPECT_EQ(bytes, dktest::readFile(file));
        setIcon(in, "old", 3);
        in.setIconDataFromFile(file.c_str());
        EXPECT_EQ(static_cast<long>(bytes.size()), in.getIconDataLen());
        // A file of 0 bytes leaves the buffer set before.
        EXPECT_EQ(bytes.empty() ? "old" : bytes, held(in, bytes.empty() ? 3 : bytes.size()));
    }
    // A length and a buffer that disagree: never read past, never shared by copies.
    dkWorkFlowAction a, b(a), c;
    EXPECT_EQ(303, dktest::usageError([&] { a.setIconDataLen(-1); }));
    setIcon(a, "abc", 3);
    a.setIconDataLen(10);   // beyond the buffer: what there is is written, then 362
    EXPECT_EQ(362, dktest::errorOf<DKXDOError>([&] { a.getIconDataToFile(file.c_str()); }));
    EXPECT_EQ("abc", dktest::readFile(file));
    a.setIconData(nullptr);
    EXPECT_EQ(362, dktest::errorOf<DKXDOError>([&] { a.getIconDataToFile(file.c_str()); }));
    setIcon(a, "xy", 2);
    a.setIconData(a.getIconData());   // from its own buffer
    b = a;
    c = b;
    dktest::assignToItself(c);
    a.setIconData("zz");
    EXPECT_EQ("xy", held(b, 2));
    EXPECT_EQ("xy", held(c, 2));
    c = dkWorkFlowAction();   // an action without an icon leaves none behind
    EXPECT_EQ(nullptr, c.getIconData());
}

TEST(dkWorkFlowFiles, DiagramTextRoundTripsAndEveryFailureNamesItsFile) {
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
    e.setData(nullptr);
    EXPECT_EQ("", e.getData().str());
    // The file failures of icons and diagrams.
    dktest::writeFile(dir / "plain", "x");
    const std::string missing = (dir / "missing").string(), folder = dir.str(),
                      noParent = (dir / "none" / "f").string(), underFile = (dir / "plain" / "f").string();
    dkWorkFlowAction a;
    setIcon(a, "i", 1);
    // A null name is no name: the detail is "()".
    struct Row { std::function<void()> call; long id; std::string detail; const char* function; };
    const Row rows[] = {
        {[&] { a.setIconDataFromFile(missing.c_str()); }, 358, "(" + missing + ")", "dkWorkFlowAction::setIconDataFromFile"},
        {[&] { a.setIconDataFromFile(folder.c_str()); }, 358, "(" + folder + ")", "dkWorkFlowAction::setIconDataFromFile"},
        {[&] { d.setDataFromFile(folder.c_str()); }, 358, "(" + folder + ")", "dkWorkFlowDiagram::setDataFromFile"},
        {[&] { d.setDataFromFile(nullptr); }, 358, "()", "dkWorkFlowDiagram::setDataFromFile"},
        {[&] { a.getIconDataToFile(noParent.c_str()); }, 360, "(" + noParent + ")", "dkWorkFlowAction::getIconDataToFile"},
        {[&] { d.getDataToFile(underFile.c_str()); }, 360, "(" + underFile + ")", "dkWorkFlowDiagram::getDataToFile"},
        {[&] { a.getIconDataToFile(nullptr); }, 360, "()", "dkWorkFlowAction::getIconDataToFile"},
        {[&] { a.getIconDataToFile("/dev/full"); }, 362, "", "dkWorkFlowAction::getIconDataToFile"},
        {[&] { d.getDataToFile("/dev/full"); }, 362, "", "dkWorkFlowDiagram::getDataToFile"},
    };
    for (const Row& r : rows) {
        const dktest::Failure f = failureOf<DKXDOError>(r.call);
        EXPECT_EQ(r.id, f.id) << r.function << " " << r.detail;
        EXPECT_EQ(msg(r.id, r.detail), f.text) << r.function;
    }
    EXPECT_EQ("i", held(a, 1));   // a failed read keeps the icon
    EXPECT_EQ(text, d.getData().str());
}

TEST(dkWorkFlowRefusals, RepositoryOperationsNameClassAndOperation) {
    dkWorkFlowAction a;
    dkWorkFlowActionList l;
    dkWorkFlowDiagram d;
    long count = 0;
    // An operation and its call on each class that refuses it (action, list, diagram).
    struct Row { const char* op; std::function<void()> calls[3]; };
    const Row rows[] = {
#define ALL(op) {#op, {[&] { a.op(); }, [&] { l.op(); }, [&] { d.op(); }}}
        ALL(checkin), ALL(checkout), ALL(unlockCheckedOut), ALL(getCheckedOutUserid), ALL(add), ALL(del),
        ALL(update), ALL(retrieve),
#undef ALL
        {"getAction", {[&] { a.getAction(); }}}, {"setAction", {[&] { a.setAction("x"); }}},
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
        }
}

TEST(dkWorkFlowFields, EachConstructorAndAccessorKeepsItsOwnField) {
    struct Ds : dkDatastore {} ds;
    using dktest::str;
    using V = dktest::Texts;
    // The fields all three share: made with a name and a description, then set on a bare one.
    auto shared = [&](auto made, auto bare) {
        EXPECT_EQ((V{"name", "text", ""}), (V{str(made.getName()), str(made.getDescription()), str(made.getItemId())}));
        EXPECT_EQ((std::pair<dkDatastore*, dkDatastore*>(&ds, nullptr)), std::make_pair(made.getDatastore(), bare.getDatastore()));
        bare.setDatastore(&ds), bare.setItemId("i"), bare.setCompId("c"), bare.setName("n"), bare.setDescription("d");
        EXPECT_EQ((V{"i", "c", "n", "d"}), (V{str(bare.getItemId()), str(bare.getCompId()), str(bare.getName()), str(bare.getDescription())}));
        EXPECT_EQ(&ds, bare.getDatastore());
    };
    shared(dkWorkFlowAction(&ds, "name", "text"), dkWorkFlowAction());
    shared(dkWorkFlowActionList(&ds, "name", "text"), dkWorkFlowActionList());
    shared(dkWorkFlowDiagram(&ds, "name", "text"), dkWorkFlowDiagram());
    using A = dkWorkFlowAction;
    const std::pair<void (A::*)(const char*), DKString (A::*)()> texts[] = {
        {&A::setWFUserExitClassName, &A::getWFUserExitClassName}, {&A::setWFUserExitFunction, &A::getWFUserExitFunction},
        {&A::setWFUserExitDLL, &A::getWFUserExitDLL}, {&A::setCommand, &A::getCommand}, {&A::setWFUserExitURL, &A::getWFUserExitURL},
        {&A::setPrompt, &A::getPrompt}, {&A::setShortcut, &A::getShortcut}};
    A a(&ds);
    int k = 0;
    for (const auto& field : texts) (a.*field.first)(std::to_string(++k).c_str());
    k = 0;
    for (const auto& field : texts) EXPECT_EQ(std::to_string(++k), str((a.*field.second)()));
    a.setWFUserExitFlag(7), a.setPredefined(1);
    EXPECT_EQ((std::pair<long, int>(7, 1)), std::make_pair(a.getWFUserExitFlag(), a.isPredefined()));
    dkWorkFlowDiagram d;
    d.setACLName("acl");
    EXPECT_EQ("acl", str(d.getACLName()));
    dkWorkFlowMgmt m, n(&ds);
    m.setDatastore(&ds);
    EXPECT_EQ(m.getDatastore(), n.getDatastore());
}
