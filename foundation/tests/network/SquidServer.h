#pragma once

#include <sys/stat.h>

#include <boost/filesystem/operations.hpp>
#include <string>

#include "HTTPPeers.h"

namespace networktest {

// squid on a free loopback port that lets through only authenticated CONNECT requests, with
// Basic and/or Digest proxy authentication for user "alice", password "wonder land".
class SquidServer {
public:
    SquidServer(const testsupport::TempDir& folder, bool basic, bool digest)
        : m_Port(testsupport::freePort()), m_Dir(folder / ("squid" + std::to_string(m_Port))) {
        boost::filesystem::create_directories(m_Dir);
        // The helpers run as the user "proxy": the folder and the password files must be
        // reachable by it.
        for (auto path = m_Dir; !path.empty() && path != path.root_path();
             path = path.parent_path()) {
            struct stat st {};
            if (::stat(path.c_str(), &st) == 0 && (st.st_mode & 0005) != 0005) {
                ::chmod(path.c_str(), (st.st_mode & 07777) | 0755);
            }
        }
        ::chmod(m_Dir.c_str(), 0777);
        testsupport::WriteFile(m_Dir / "digest.passwd", "alice:wonder land\n");
        // htpasswd form for basic_ncsa_auth, made by apache2-utils' htpasswd.
        testsupport::ServerProcess htpasswd(
            {"htpasswd", "-b", "-c", (m_Dir / "basic.passwd").string(), "alice", "wonder land"});
        for (int i = 0; i < 200 && htpasswd.running(); ++i) {
            ::usleep(10000);
        }
        ::chmod((m_Dir / "basic.passwd").c_str(), 0644);
        ::chmod((m_Dir / "digest.passwd").c_str(), 0644);

        std::string conf = "http_port 127.0.0.1:" + std::to_string(m_Port) + "\n";
        conf += "pid_filename " + (m_Dir / "squid.pid").string() + "\n";
        conf += "cache_log " + (m_Dir / "cache.log").string() + "\n";
        conf += "access_log stdio:" + (m_Dir / "access.log").string() + "\n";
        conf += "coredump_dir " + m_Dir.string() + "\n";
        conf += "cache deny all\nvisible_hostname localhost\nshutdown_lifetime 1 seconds\n";
        conf += "dns_nameservers 127.0.0.1\n";
        if (digest) {
            conf += "auth_param digest program /usr/lib/squid/digest_file_auth " +
                    (m_Dir / "digest.passwd").string() + "\n";
            conf += "auth_param digest children 2\nauth_param digest realm test proxy\n";
        }
        if (basic) {
            conf += "auth_param basic program /usr/lib/squid/basic_ncsa_auth " +
                    (m_Dir / "basic.passwd").string() + "\n";
            conf += "auth_param basic children 2\nauth_param basic realm test proxy\n";
        }
        conf += "acl users proxy_auth REQUIRED\nhttp_access allow users\nhttp_access deny all\n";
        testsupport::WriteFile(m_Dir / "squid.conf", conf);
        m_Process = std::make_unique<testsupport::ServerProcess>(
            std::vector<std::string>{"squid", "-N", "-f", (m_Dir / "squid.conf").string()},
            std::vector<std::string>{}, (m_Dir / "stderr.log").string());
        m_Ready = m_Process->waitForPort("127.0.0.1", m_Port, std::chrono::seconds(30));
    }

    bool Ready() const { return m_Ready; }
    uint16_t Port() const { return m_Port; }
    // How many requests squid answered with 407, from its access log.
    int Count407() const {
        const std::string log = ReadText(m_Dir / "access.log");
        int count = 0;
        for (std::size_t at = log.find("/407 "); at != std::string::npos;
             at = log.find("/407 ", at + 1)) {
            ++count;
        }
        return count;
    }
    std::string AccessLog() const { return ReadText(m_Dir / "access.log"); }

private:
    uint16_t m_Port;
    boost::filesystem::path m_Dir;
    std::unique_ptr<testsupport::ServerProcess> m_Process;
    bool m_Ready = false;
};

}  // namespace networktest
