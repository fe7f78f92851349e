// bench/dkPgBenchSupport.hpp
#pragma once

// What the PostgreSQL benchmarks share: a throwaway server of the run's own, started with the
// tests' script (DKPG_SERVER_SCRIPT) before the first measure and stopped at exit, its superuser
// and password, and the connector's factory loaded once as the pool loads it. Plain database
// names reach the server through PGHOST and PGPORT, set before any thread starts.

#include <dk/PDynamicLoader.hpp>
#include <dk/dkDatastore.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

#include <unistd.h>

namespace dkpgbench {

struct Server {
    std::string folder, user, password, host, port;
};

// The folder the exit handler stops; kept apart from the server's static, which is destroyed
// before handlers registered during its construction run.
inline const std::string* stopAtExit = nullptr;

inline const Server& server() {
    static const Server s = [] {
        Server r;
        r.folder = (std::filesystem::temp_directory_path() / ("dkbench-pg-" + std::to_string(getpid()))).string();
        if (std::system((std::string(DKPG_SERVER_SCRIPT) + " start " + r.folder).c_str()) != 0)
            throw std::runtime_error("the benchmark's server did not start");
        stopAtExit = new std::string(std::string(DKPG_SERVER_SCRIPT) + " stop " + r.folder + "; rmdir " + r.folder);
        std::atexit([] { [[maybe_unused]] const int rc = std::system(stopAtExit->c_str()); });
        std::ifstream in(r.folder + "/server.env");
        for (std::string line; std::getline(in, line);) {
            const std::string key = line.substr(0, line.find('=')), value = line.substr(line.find('=') + 1);
            if (key == "DKPG_HOST") setenv("PGHOST", (r.host = value).c_str(), 1);
            if (key == "DKPG_PORT") setenv("PGPORT", (r.port = value).c_str(), 1);
            if (key == "DKPG_USER") r.user = value;
            if (key == "DKPG_PASSWORD") r.password = value;
        }
        return r;
    }();
    return s;
}

// A new, unconnected datastore of the connector's factory, loaded once as the pool loads it.
inline std::unique_ptr<dkDatastore> newDatastore() {
    static PDynamicLoader* loader = [] {
        auto* l = new PDynamicLoader("dkdspg");
        l->open();
        return l;
    }();
    using Create = dkDatastore* (*)(const char*);
    return std::unique_ptr<dkDatastore>(reinterpret_cast<Create>(loader->getProcAddress("createObject"))("DKDatastorePG"));
}

}  // namespace dkpgbench
