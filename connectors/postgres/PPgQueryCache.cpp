// connectors/postgres/PPgQueryCache.cpp
//
// The session's prepared queries and the one-round-trip opening of a query. A query's opening
// (the read-only transaction, its statement_timeout, the cursor and its first batch) goes to the
// server in one pipeline, so a query whose rows fit one batch waits for the server once.

#include "PPgQueryCache.hpp"
#include "PPgError.hpp"
#include "PPgPortal.hpp"
#include "PPgValues.hpp"

namespace dkpg {

PQuery* PQueryCache::find(const std::string& sql) {
    auto it = entries_.find(sql);
    if (it == entries_.end()) return nullptr;
    order_.splice(order_.begin(), order_, it->second.second);
    return &it->second.first;
}

PQuery* PQueryCache::add(const std::string& sql) {
    forget(sql);
    if (entries_.size() >= kCapacity) {
        // The oldest that no cursor uses makes room; when all are in use the cache grows.
        for (auto it = order_.rbegin(); it != order_.rend(); ++it)
            if (!entries_.at(*it).first.busy) {
                forget(*it);
                break;
            }
    }
    const std::string n = std::to_string(++next_);
    order_.push_front(sql);
    PQuery& q = entries_.emplace(sql, std::make_pair(PQuery(), order_.begin())).first->second.first;
    q.statement = "dk_q" + n;
    q.cursor = "dk_qc" + n;
    return &q;
}

void PQueryCache::forget(const std::string& sql) {
    auto it = entries_.find(sql);
    if (it == entries_.end()) return;
    if (it->second.first.prepared) unused_.push_back(it->second.first.statement);
    if (!it->second.first.limited.empty()) unused_.push_back(it->second.first.limited);
    order_.erase(it->second.second);
    entries_.erase(it);
}

void PQueryCache::release(PGconn* c, bool guarded) {
    if (unused_.empty() || PQtransactionStatus(c) == PQTRANS_INERROR) return;
    std::string sql;
    for (const std::string& name : unused_) sql += (sql.empty() ? "" : "; ") + ("DEALLOCATE " + name);
    // A statement the server never prepared (its preparing failed) is no fault.
    if (guarded)
        runGuarded(c, sql);
    else
        PQclear(PQexec(c, sql.c_str()));
    unused_.clear();
}

void PQueryCache::clear() {
    order_.clear();
    entries_.clear();
    unused_.clear();
    frame_ = PFrame();
}

const PQueryCache::PFrame& PQueryCache::frame(PGconn* c, long timeoutMs, const char* source, const char* function) {
    if (!frame_.begin.empty()) return frame_;
    const std::string n = "dk_f" + std::to_string(++next_);
    PFrame f{n + "b", n + "t", n + "e"};
    const std::pair<const std::string*, std::string> statements[] = {
        {&f.begin, "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"},
        {&f.timeout, "SET LOCAL statement_timeout = " + std::to_string(timeoutMs)},
        {&f.end, "ROLLBACK"}};
    for (const auto& [name, sql] : statements) {
        PResult r(PQprepare(c, name->c_str(), sql.c_str(), 0, nullptr), PQclear);
        if (PQresultStatus(r.get()) != PGRES_COMMAND_OK) {
            for (const auto& done : statements) {   // the ones prepared before it go
                if (done.first == name) break;
                unused_.push_back(*done.first);
            }
            throwPg(c, r.get(), source, function, DKString("preparing the query's transaction"));
        }
    }
    frame_ = std::move(f);
    return frame_;
}

void PQueryCache::forgetFrame() {
    if (frame_.begin.empty()) return;
    unused_.insert(unused_.end(), {frame_.begin, frame_.timeout, frame_.end});
    frame_ = PFrame();
}

PResult runPipelined(PGconn* c, const std::vector<PPiped>& statements, std::size_t bound, std::size_t wanted,
                     PParams& params, const char* source, const char* function, const char* what, int format) {
    if (PQenterPipelineMode(c) == 0) throwPg(c, nullptr, source, function, DKString(what));
    bool sent = true;
    for (std::size_t i = 0; i < statements.size() && sent; ++i) {
        const char* sql = statements[i].sql.c_str();
        sent = i == bound                ? PQsendQueryPrepared(c, sql, params.count(), params.values(), params.lengths(),
                                                               params.formats(), format) != 0
               : statements[i].prepared ? PQsendQueryPrepared(c, sql, 0, nullptr, nullptr, nullptr, 0) != 0
                                        : PQsendQueryParams(c, sql, 0, nullptr, nullptr, nullptr, nullptr, 0) != 0;
    }
    sent = sent && PQpipelineSync(c) != 0;
    // Every statement sent has its results, then an empty one; the sync ends the round trip.
    PResult kept(nullptr, PQclear), failed(nullptr, PQclear);
    std::size_t index = 0;
    for (bool synced = false; sent && !synced && PQstatus(c) == CONNECTION_OK;) {
        PGresult* r = PQgetResult(c);
        if (r == nullptr) {
            ++index;   // the end of one statement's results
            continue;
        }
        PResult owned(r, PQclear);
        switch (PQresultStatus(r)) {
            case PGRES_PIPELINE_SYNC: synced = true; break;
            case PGRES_COMMAND_OK: case PGRES_TUPLES_OK: if (index == wanted) kept = std::move(owned); break;
            case PGRES_PIPELINE_ABORTED: break;
            default: if (!failed) failed = std::move(owned);
        }
    }
    PQexitPipelineMode(c);
    if (!sent || failed || !kept || PQstatus(c) != CONNECTION_OK)
        throwPg(c, failed.get(), source, function, DKString(what));
    return kept;
}

}  // namespace dkpg
