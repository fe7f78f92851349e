// tools/dk/dkCmdTemplate.cpp
//
// Search templates from the command line: `dk template REPO NAME ENTITY ATTR[:OP,...]...` stores
// one in the repository through the connector's templates extension, and
// `dk search REPO --template NAME [ATTR[:OP]=VALUE]...` fills in a stored one and prints the
// items it finds, as `dk query` prints them. The command line is read whole before the
// repository is opened.

#include "dkCommands.hpp"


#include <dk/DKOpCode.hpp>
#include <dk/DKQExpr.hpp>
#include <dk/dkCollection.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkResultSetCursor.hpp>
#include <dk/PRepositoryTemplates.hpp>
#include <dk/dkSearchTemplate.hpp>

#include <algorithm>
#include <cctype>
#include <iostream>

namespace dkcli {

namespace {

struct Criterion {
    std::string name;
    std::vector<short> ops;        // template: the operators allowed; search: the one chosen, if any
    std::vector<DKString> values;  // search only
};

bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// "ATTR" or "ATTR:OP,OP..." into a criterion name and its operators.
Criterion criterionOf(const std::string& text, const std::string& command) {
    Criterion c;
    const size_t colon = text.find(':');
    c.name = text.substr(0, colon);
    if (c.name.empty()) throw UsageError("expected ATTR[:OP,...], got '" + text + "'", command);
    for (size_t at = colon; at != std::string::npos && at < text.size();) {
        const size_t end = text.find(',', at + 1);
        c.ops.push_back(operatorOf(text.substr(at + 1, end == std::string::npos ? end : end - at - 1), command));
        at = end;
    }
    return c;
}

// "ATTR=VALUE" or "ATTR:OP=VALUE" into a criterion with at most one operator, and the value. An
// operator may hold '=' itself (>=, ==): the longest known one before an '=' is taken.
std::pair<Criterion, std::string> assignmentOf(const std::string& text, const std::string& command) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos || text.find('=') < colon) {
        const auto [lhs, value] = splitAssignment(text, command);
        return {criterionOf(lhs, command), value};
    }
    size_t split = std::string::npos;
    for (size_t eq = text.find('=', colon); eq != std::string::npos; eq = text.find('=', eq + 1)) {
        try {
            operatorOf(text.substr(colon + 1, eq - colon - 1), command);
            split = eq;
        } catch (const UsageError&) {
        }
    }
    if (split == std::string::npos) throw UsageError("expected ATTR[:OP]=VALUE, got '" + text + "'", command);
    return {criterionOf(text.substr(0, split), command), text.substr(split + 1)};
}

}  // namespace

int runTemplate(const Options& o, Repository* shared) {
    const std::string& name = o.args[1];
    const std::string& entity = o.args[2];
    std::vector<Criterion> criteria;
    for (size_t i = 3; i < o.args.size(); ++i) {
        criteria.push_back(criterionOf(o.args[i], o.command));
        if (criteria.back().ops.empty()) criteria.back().ops.push_back(DKOpCode::opEqual);
    }
    RepositoryRef repo(o, shared, false);
    std::unique_ptr<dkSearchTemplate> tpl(repo->templates().createSearchTemplate(name.c_str(), entity.c_str()));
    std::string summary;
    for (const Criterion& c : criteria) {
        auto criterion = std::make_unique<DKSearchCriteria>(entity.c_str(), c.name.c_str());
        criterion->setValidOperators(c.ops.data(), static_cast<long>(c.ops.size()));
        tpl->addCriteria(criterion.get());   // taken only when accepted
        criterion.release();
        summary += "\n  " + c.name;
        for (size_t i = 0; i < c.ops.size(); ++i) summary += (i == 0 ? " " : ", ") + operatorName(c.ops[i]);
    }
    tpl->add();
    std::cout << "stored template " << name << " over " << entity << ":" << summary << "\n";
    return kExitOk;
}

int runTemplateSearch(const Options& o, Repository* shared) {
    const OutputOptions output = outputOptionsFor(o, Format::table);
    std::vector<Criterion> given;   // by criterion, in the order first given
    for (size_t i = 1; i < o.args.size(); ++i) {
        const auto assignment = assignmentOf(o.args[i], o.command);
        const Criterion& c = assignment.first;   // named, not bound: the lambda below captures it
        const auto& value = assignment.second;
        if (c.ops.size() > 1) throw UsageError("one operator per criterion, got '" + o.args[i] + "'", o.command);
        auto held = std::find_if(given.begin(), given.end(), [&](const Criterion& g) { return sameName(g.name, c.name); });
        if (held == given.end()) held = given.insert(given.end(), c);
        if (!c.ops.empty()) held->ops = c.ops;
        held->values.emplace_back(value);
    }
    RepositoryRef repo(o, shared, true);
    dkDatastore& ds = repo->datastore();
    // The collection owns the templates; the iterator goes before it.
    std::unique_ptr<dkCollection> all(ds.listSearchTemplates());
    dkSearchTemplate* tpl = nullptr;
    {
        std::unique_ptr<dkIterator> it(all->createIterator());
        while (it->more() && tpl == nullptr) {
            auto* t = static_cast<dkSearchTemplate*>(static_cast<void*>(*it->next()));
            if (t != nullptr && sameName(t->getName().c_str(), o.templateName)) tpl = t;
        }
    }
    if (tpl == nullptr) throw std::runtime_error("no search template named " + o.templateName + " (dk template stores one)");
    for (const Criterion& c : given) {
        tpl->setValues(c.name.c_str(), c.values.data(), static_cast<long>(c.values.size()));
        if (!c.ops.empty()) tpl->setOperator(c.name.c_str(), c.ops.front());
    }
    std::unique_ptr<dkResultSetCursor> cursor(ds.execute(tpl));
    return printRows(*cursor, output);
}

}  // namespace dkcli
