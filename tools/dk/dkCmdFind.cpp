// tools/dk/dkCmdFind.cpp
//
// `dk find REPO ENTITY NAME OP VALUE...`: one condition on one attribute, run as a query tree of
// the connector. The values are read as the attribute's type (as `dk update` reads them) and
// handed to the tree as its parameters, so a value is never query text. The items found print
// as `dk query` prints them. The operator names are shared with `dk template`.

#include "dkCommands.hpp"
#include "dkValues.hpp"

#include <dk/DKNVPair.hpp>
#include <dk/DKOpCode.hpp>
#include <dk/DKQExpr.hpp>
#include <dk/DKQTerm.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkResultSetCursor.hpp>

#include <algorithm>
#include <cctype>

namespace dkcli {

namespace {

// The operators that compare one attribute with values.
constexpr short kComparisons[] = {DKOpCode::opEqual,     DKOpCode::opNotEqual,     DKOpCode::opGreater,
                                  DKOpCode::opLess,      DKOpCode::opGreaterEqual, DKOpCode::opLessEqual,
                                  DKOpCode::opLike,      DKOpCode::opNotLike,      DKOpCode::opBetween,
                                  DKOpCode::opNotBetween, DKOpCode::opIn,          DKOpCode::opNotIn};

std::string upper(const std::string& text) {
    std::string out;
    for (char c : text) out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

std::string operatorName(short op) {
    std::string name = DKOpCode::text(op) ? DKOpCode::text(op) : "";   // the table's form, with blanks around it
    name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
    return name;
}

short operatorOf(const std::string& text, const std::string& command) {
    std::string known;
    for (short op : kComparisons) {
        const std::string name = operatorName(op);
        if (name == upper(text)) return op;
        known += (known.empty() ? "" : " ") + name;
    }
    throw UsageError("unknown operator '" + text + "' (one of " + known + ")", command);
}

int runFind(const Options& o, Repository* shared) {
    const OutputOptions output = outputOptionsFor(o, Format::table);
    const std::string& entity = o.args[1];
    const std::string& name = o.args[2];
    const short op = operatorOf(o.args[3], o.command);
    const std::vector<std::string> values(o.args.begin() + 4, o.args.end());
    const bool two = op == DKOpCode::opBetween || op == DKOpCode::opNotBetween;
    if ((two && values.size() != 2) || (!DKOpCode::isMultiValueOp(op) && values.size() != 1))
        throw UsageError(o.args[3] + (two ? " takes two values" : " takes one value"), o.command);

    RepositoryRef repo(o, shared, true);
    dkDatastore& ds = repo->datastore();
    const auto attributes = attributesOf(ds, entity);
    auto attr = std::find_if(attributes.begin(), attributes.end(),
                             [&](const auto& a) { return upper(a.first) == upper(name); });
    if (attr == attributes.end()) {
        std::string known;
        for (const auto& a : attributes) known += (known.empty() ? "" : ", ") + a.first;
        throw UsageError(entity + " has no attribute " + name + " (it has " + known + ")", o.command);
    }
    // Each value is a parameter of the sub-query, named v1, v2 ... in the term.
    auto sub = std::make_unique<DKQSubExpr>();
    sub->setEntityName(entity.c_str());
    std::vector<DKString> refs;
    for (size_t i = 0; i < values.size(); ++i) {
        const std::string key = "v" + std::to_string(i + 1);
        sub->setParameter(key.c_str(), valueOfType(attr->second, values[i], attr->first));
        refs.emplace_back((":" + key).c_str());
    }
    sub->setQueryTerm(DKOpCode::isMultiValueOp(op) ? new DKQTerm(attr->first.c_str(), op, refs.data(), static_cast<long>(refs.size()))
                                                   : new DKQTerm(attr->first.c_str(), op, refs[0].c_str()));
    auto leaf = std::make_unique<DKQExpr>();
    leaf->setQLType(3);
    leaf->addSubQuery(sub.release());
    DKCQExpr tree(leaf.release());
    tree.setQLType(3);
    std::unique_ptr<dkResultSetCursor> cursor(ds.execute(&tree));
    return printRows(*cursor, output);
}

}  // namespace dkcli
