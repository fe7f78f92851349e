// connectors/postgres/PPgStatementCache.cpp
//
// Prepared statements of one session: prepared on first use, run by name after, deallocated when
// they fail or make room. Every failure keeps the server's SQLSTATE, as run() does.

#include "PPgStatementCache.hpp"
#include "PPgError.hpp"
#include "PPgValues.hpp"

#include <algorithm>

namespace dkpg {

PResult PStatementCache::run(PGconn* conn, const std::string& sql, PParams& params, const char* source,
                             const char* function, const char* what) {
    release(conn);
    auto it = names_.find(sql);
    if (it == names_.end()) {
        if (names_.size() >= kCapacity) {
            unused_.push_back(names_.at(order_.front()));
            names_.erase(order_.front());
            order_.pop_front();
        }
        const std::string name = "dk_s" + std::to_string(++next_);
        PResult prepared(PQprepare(conn, name.c_str(), sql.c_str(), params.count(), nullptr), PQclear);
        if (PQresultStatus(prepared.get()) != PGRES_COMMAND_OK)
            throwPg(conn, prepared.get(), source, function, DKString(what));
        it = names_.emplace(sql, name).first;
        order_.push_back(sql);
    }
    PResult r(PQexecPrepared(conn, it->second.c_str(), params.count(), params.values(), params.lengths(),
                             params.formats(), 0),
              PQclear);
    const ExecStatusType status = PQresultStatus(r.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        unused_.push_back(it->second);
        order_.erase(std::find(order_.begin(), order_.end(), sql));
        names_.erase(it);
        throwPg(conn, r.get(), source, function, DKString(what));
    }
    return r;
}

void PStatementCache::release(PGconn* conn) {
    if (unused_.empty() || PQtransactionStatus(conn) == PQTRANS_INERROR) return;
    std::string sql;
    for (const std::string& name : unused_) sql += "DEALLOCATE " + name + ";";
    PQclear(PQexec(conn, sql.c_str()));
    unused_.clear();
}

void PStatementCache::clear() {
    names_.clear();
    order_.clear();
    unused_.clear();
    next_ = 0;
}

}  // namespace dkpg
