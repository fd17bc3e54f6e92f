// Kamailio as a registrar (and proxy) on 127.0.0.1 for the interop tests, started from a
// configuration in data/ with users and passwords of the test's choosing, stopped by its PID.
#pragma once

#include <signal.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "tests/support/phone_under_test.h"

namespace corvina::interop {

using corvina::testing::ChildProcess;
using corvina::testing::PollUntil;
using corvina::testing::ReadFile;

class KamailioRegistrar {
 public:
  // `source` names the configuration in data/; proxy.cfg relays INVITEs for users it does not
  // know to `callee` (host:port).
  KamailioRegistrar(std::string folder, std::uint16_t port, const std::string& user, const std::string& password,
                    std::string source = "registrar.cfg", std::string callee = {})
      : folder_(std::move(folder)), port_(port), source_(std::move(source)), callee_(std::move(callee)) {
    AddUser(user, password);
  }
  // Another user with its password; before Start().
  void AddUser(const std::string& user, const std::string& password) {
    users_ += "  $sht(pw=>" + user + ") = \"" + password + "\";\n";
  }
  ~KamailioRegistrar() { Stop(); }

  // True once its control socket answers (bounded).
  bool Start() {
    std::filesystem::create_directories(folder_);
    std::string cfg = ReadFile(std::string(CORVINA_INTEROP_DATA) + "/" + source_);
    Replace(cfg, "@CALLEE@", callee_);
    Replace(cfg, "@USERS@", users_);
    Replace(cfg, "@RUNDIR@", folder_);
    std::ofstream(folder_ + "/registrar.cfg") << cfg;
    std::string command = "exec kamailio -DD -E -f " + folder_ + "/registrar.cfg -l udp:127.0.0.1:" +
                          std::to_string(port_) + " -P " + folder_ + "/pid -Y " + folder_ + " -w " + folder_ +
                          " -m 32 -M 8 >" + folder_ + "/log 2>&1";
    process_ = std::make_unique<ChildProcess>(std::vector<std::string>{"/bin/sh", "-c", command},
                                              std::vector<std::string>{});
    return PollUntil([&] { return UlDump().find("Domain: location") != std::string::npos; }, 10000);
  }

  // Terminates Kamailio (which stops its children) and waits for it.
  void Stop() {
    if (!process_) return;
    kill(process_->Pid(), SIGTERM);
    process_->Wait(5000);
    process_.reset();
  }

  std::string UlDump() const {
    ChildProcess dump({"/usr/sbin/kamcmd", "-s", "unix:" + folder_ + "/ctl.sock", "ul.dump"}, {});
    std::string all, line;
    while (dump.ReadLine(&line, 2000)) all += line + "\n";
    dump.Wait(2000);
    return all;
  }
  std::string Log() const { return ReadFile(folder_ + "/log"); }
  std::uint16_t Port() const { return port_; }

 private:
  static void Replace(std::string& text, const std::string& what, const std::string& with) {
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size())) {
      text.replace(at, what.size(), with);
    }
  }

  std::string folder_;
  std::uint16_t port_;
  std::string source_;
  std::string callee_;
  std::string users_;  // the password table's lines
  std::unique_ptr<ChildProcess> process_;
};

}  // namespace corvina::interop
