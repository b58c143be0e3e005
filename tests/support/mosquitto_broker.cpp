#include "support/mosquitto_broker.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace kvn::test {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kMosquitto = "/usr/sbin/mosquitto";

// The child's side of Spawn: only calls that are safe between fork and exec
// in a program with threads.
[[noreturn]] void ExecChild(char* const* argv, pid_t parent, int devNull, int outFd) {
  // Dies with the thread that started it, so that no broker outlives a
  // crashed or killed test.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(127);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  signal(SIGTERM, SIG_DFL);
  signal(SIGINT, SIG_DFL);
  signal(SIGPIPE, SIG_DFL);
  if (dup2(devNull, 0) < 0 || dup2(outFd, 1) < 0 || dup2(outFd, 2) < 0) _exit(127);
  execvp(argv[0], argv);
  _exit(127);
}

// Starts argv with standard input on /dev/null and standard output and error
// on outFd; its process id, or -1.
pid_t Spawn(const std::vector<std::string>& args, int outFd) {
  if (args.empty()) return -1;
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (devNull < 0) return -1;
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) ExecChild(argv.data(), parent, devNull, outFd);
  close(devNull);
  return pid;
}

// waitpid, again after a signal; the status through *status.
pid_t WaitPid(pid_t pid, int* status, int flags) {
  pid_t r;
  do {
    r = waitpid(pid, status, flags);
  } while (r < 0 && errno == EINTR);
  return r;
}

std::string Describe(int status) {
  if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
  return "status " + std::to_string(status);
}

// A port on 127.0.0.1 that nothing listens on just now; 0 when none is found.
int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  int port = 0;
  if (bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) == 0)
    port = ntohs(a.sin_port);
  close(fd);
  return port;
}

bool AcceptsConnection(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
  close(fd);
  return ok;
}

bool WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  return static_cast<bool>(out);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The user mosquitto is to run as: itself. Run as root, it would otherwise
// change to user "mosquitto", who may not read the folder.
std::string CurrentUser() {
  const passwd* pw = getpwuid(geteuid());
  if (pw != nullptr && pw->pw_name != nullptr) return pw->pw_name;
  return geteuid() == 0 ? "root" : "";
}

}  // namespace

int RunProgram(const std::vector<std::string>& argv, std::string* output, int timeoutMs) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  const pid_t pid = Spawn(argv, pipeFds[1]);
  close(pipeFds[1]);
  if (pid < 0) {
    close(pipeFds[0]);
    return -1;
  }
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  bool timedOut = false;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      timedOut = true;
      break;
    }
    pollfd p{pipeFds[0], POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    char buffer[4096];
    const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
    if (n > 0) {
      if (output != nullptr) output->append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;  // the program closed its output, as it does on its exit
    }
  }
  close(pipeFds[0]);
  int status = 0;
  // The output is closed; the exit follows at once, or the program is killed
  // when its time is up.
  while (!timedOut && WaitPid(pid, &status, WNOHANG) == 0) {
    if (Clock::now() >= deadline) timedOut = true;
    else std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (timedOut) {
    ::kill(pid, SIGKILL);
    WaitPid(pid, &status, 0);
    if (output != nullptr) output->append("[killed after " + std::to_string(timeoutMs) + " ms]\n");
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// ---------------------------------------------------------------- broker

MosquittoBroker::MosquittoBroker(BrokerOptions options) : options_(std::move(options)) {
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
  folder += "/kvn-mosquitto-XXXXXX";
  if (mkdtemp(folder.data()) == nullptr) {
    note("mkdtemp " + folder + ": " + std::strerror(errno));
    return;
  }
  folder_ = folder;
  // A line break in a path would end its line of mosquitto.conf and start
  // another one.
  if (folder_.find_first_of("\r\n") != std::string::npos) {
    note("the folder's path holds a line break: " + folder_);
    return;
  }
  port_ = FreePort();
  if (port_ == 0) {
    note("no free port on 127.0.0.1");
    return;
  }
  setupOk_ = makePasswordFile() && makeTlsFiles() && writeConfig();
}

MosquittoBroker::~MosquittoBroker() {
  kill();
  if (!folder_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
}

void MosquittoBroker::note(const std::string& text) const { notes_ += text + "\n"; }

// Runs a setup command in the folder's terms; false, with its output in the
// notes, when it fails.
bool MosquittoBroker::run(const std::vector<std::string>& argv, const std::string& what) {
  std::string output;
  const int status = RunProgram(argv, &output);
  if (status == 0) return true;
  note(what + " failed (" + (status < 0 ? std::string("not run, killed or timed out")
                                        : "exit status " + std::to_string(status)) +
       "): " + output);
  return false;
}

bool MosquittoBroker::makePasswordFile() {
  if (!options_.user) return true;
  const std::string file = folder_ + "/passwd";
  // mosquitto_passwd -b adds to a file that is there; it starts empty.
  if (!WriteFile(file, "")) {
    note("cannot write " + file);
    return false;
  }
  return run({"mosquitto_passwd", "-b", file, options_.user->first, options_.user->second},
             "mosquitto_passwd");
}

bool MosquittoBroker::makeTlsFiles() {
  if (!options_.tls) return true;
  const std::string f = folder_ + "/";
  const std::string reqConfig = f + "openssl.cnf";
  const std::string serverExt = f + "server.ext";
  if (!WriteFile(reqConfig,
                 "[req]\n"
                 "distinguished_name = dn\n"
                 "x509_extensions = ca_ext\n"
                 "prompt = no\n"
                 "[dn]\n"
                 "CN = kvn test\n"
                 "[ca_ext]\n"
                 "basicConstraints = critical, CA:TRUE\n"
                 "keyUsage = critical, keyCertSign, cRLSign\n"
                 "subjectKeyIdentifier = hash\n") ||
      !WriteFile(serverExt,
                 "basicConstraints = CA:FALSE\n"
                 "keyUsage = critical, digitalSignature, keyEncipherment\n"
                 "extendedKeyUsage = serverAuth\n"
                 "subjectAltName = IP:127.0.0.1, DNS:localhost\n"
                 "authorityKeyIdentifier = keyid\n")) {
    note("cannot write the openssl files in " + folder_);
    return false;
  }
  const std::vector<std::string> ecKey = {"-newkey", "ec", "-pkeyopt",
                                          "ec_paramgen_curve:prime256v1", "-nodes"};
  auto selfSignedCa = [&](const std::string& name, const std::string& cn) {
    std::vector<std::string> argv = {"openssl", "req", "-x509", "-new", "-config", reqConfig};
    argv.insert(argv.end(), ecKey.begin(), ecKey.end());
    argv.insert(argv.end(), {"-keyout", f + name + ".key", "-out", f + name + ".crt", "-days",
                             "2", "-subj", "/CN=" + cn});
    return run(argv, "openssl req (" + name + ")");
  };
  std::vector<std::string> csr = {"openssl", "req", "-new", "-config", reqConfig};
  csr.insert(csr.end(), ecKey.begin(), ecKey.end());
  csr.insert(csr.end(), {"-keyout", f + "server.key", "-out", f + "server.csr", "-subj",
                         "/CN=localhost"});
  return selfSignedCa("ca", "kvn test CA") && run(csr, "openssl req (server)") &&
         run({"openssl", "x509", "-req", "-in", f + "server.csr", "-CA", f + "ca.crt", "-CAkey",
              f + "ca.key", "-CAcreateserial", "-CAserial", f + "ca.srl", "-out",
              f + "server.crt", "-days", "2", "-extfile", serverExt},
             "openssl x509 (server)") &&
         run({"openssl", "verify", "-CAfile", f + "ca.crt", f + "server.crt"},
             "openssl verify (server)") &&
         selfSignedCa("other-ca", "kvn unrelated CA");
}

bool MosquittoBroker::writeConfig() {
  std::string c;
  c += "listener " + std::to_string(port_) + " 127.0.0.1\n";
  if (options_.user) {
    c += "allow_anonymous false\n";
    c += "password_file " + folder_ + "/passwd\n";
  } else {
    c += "allow_anonymous true\n";
  }
  if (options_.tls) {
    c += "cafile " + caFile() + "\n";
    c += "certfile " + folder_ + "/server.crt\n";
    c += "keyfile " + folder_ + "/server.key\n";
    c += "require_certificate false\n";
  }
  // The database is saved after each change (at the next turn of the
  // broker's loop, a few ms later), so that a kill() finds it nearly current;
  // saved every 1 s instead (autosave_on_changes false), it lags 2 to 3 s,
  // and a kill() 2 s after a SUBSCRIBE lost the session.
  c += "persistence true\n";
  c += "persistence_location " + folder_ + "/\n";
  c += "autosave_on_changes true\n";
  c += "autosave_interval 1\n";
  c += "log_dest stderr\n";
  c += "log_type all\n";
  c += "log_timestamp_format %H:%M:%S\n";
  const std::string user = CurrentUser();
  if (!user.empty()) c += "user " + user + "\n";
  if (!options_.extraConfig.empty()) {
    c += options_.extraConfig;
    if (c.back() != '\n') c += "\n";
  }
  const std::string file = folder_ + "/mosquitto.conf";
  if (!WriteFile(file, c)) {
    note("cannot write " + file);
    return false;
  }
  return true;
}

bool MosquittoBroker::start() {
  if (!setupOk_) {
    note("not started: the setup above failed");
    return false;
  }
  if (running()) return true;
  const std::string logFile = folder_ + "/broker.log";
  const int logFd = open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (logFd < 0) {
    note("cannot open " + logFile + ": " + std::strerror(errno));
    return false;
  }
  pid_ = Spawn({kMosquitto, "-c", folder_ + "/mosquitto.conf"}, logFd);
  close(logFd);
  if (pid_ < 0) {
    note(std::string("cannot start ") + kMosquitto + ": " + std::strerror(errno));
    pid_ = -1;
    return false;
  }
  note("started mosquitto, pid " + std::to_string(pid_) + ", port " + std::to_string(port_));
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
  while (Clock::now() < deadline) {
    if (AcceptsConnection(port_)) {
      // Whoever accepted, it was not a broker that has given up meanwhile.
      if (running()) return true;
      break;
    }
    if (!running()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (running()) {
    note("the port did not accept a connection within 10 s");
    kill();
  } else {
    note("mosquitto ended before it listened");
  }
  return false;
}

void MosquittoBroker::reap(bool block) const {
  if (pid_ <= 0) return;
  int status = 0;
  const pid_t r = WaitPid(pid_, &status, block ? 0 : WNOHANG);
  if (r == pid_ || (r < 0 && errno == ECHILD)) {
    note("mosquitto, pid " + std::to_string(pid_) + ", ended: " +
         (r == pid_ ? Describe(status) : std::string("not a child")));
    pid_ = -1;
  }
}

void MosquittoBroker::kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  reap(true);
}

void MosquittoBroker::stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
  while (running() && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (running()) {
    note("mosquitto did not end within 10 s of SIGTERM; killed");
    kill();
  }
}

bool MosquittoBroker::save(int ms) {
  // The broker writes the database to a new file and renames it over the old
  // one: a new inode tells that the save is complete.
  const std::string db = folder_ + "/mosquitto.db";
  auto inode = [&db]() -> ino_t {
    struct stat st {};
    return ::stat(db.c_str(), &st) == 0 ? st.st_ino : 0;
  };
  if (!running()) return false;
  const ino_t before = inode();
  ::kill(pid_, SIGUSR1);
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
  while (Clock::now() < deadline) {
    const ino_t now = inode();
    if (now != 0 && now != before) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  note("the database was not saved within " + std::to_string(ms) + " ms of SIGUSR1");
  return false;
}

bool MosquittoBroker::running() const {
  reap(false);
  return pid_ > 0;
}

int MosquittoBroker::port() const { return port_; }
std::string MosquittoBroker::folder() const { return folder_; }
std::string MosquittoBroker::caFile() const { return folder_ + "/ca.crt"; }
std::string MosquittoBroker::otherCaFile() const { return folder_ + "/other-ca.crt"; }

std::string MosquittoBroker::log() const {
  running();  // notes an exit that has happened meanwhile
  std::string text = notes_;
  if (!folder_.empty()) text += "--- broker.log ---\n" + ReadFile(folder_ + "/broker.log");
  return text;
}

std::vector<std::string> MosquittoBroker::clientArgs() const {
  std::vector<std::string> args = {"-h", "127.0.0.1", "-p", std::to_string(port_)};
  if (options_.tls) args.insert(args.end(), {"--cafile", caFile()});
  if (options_.user)
    args.insert(args.end(), {"-u", options_.user->first, "-P", options_.user->second});
  return args;
}

// ---------------------------------------------------------------- subscriber

Subscriber::Subscriber(const MosquittoBroker& broker, std::vector<std::string> topics,
                       std::string clientId)
    : topics_(std::move(topics)) {
  static std::once_flag once;
  std::call_once(once, [] { mosquitto_lib_init(); });
  m_ = mosquitto_new(clientId.c_str(), false, this);
  if (m_ == nullptr) throw std::runtime_error("mosquitto_new failed for " + clientId);
  mosquitto_connect_callback_set(m_, &Subscriber::onConnect);
  mosquitto_disconnect_callback_set(m_, &Subscriber::onDisconnect);
  mosquitto_subscribe_callback_set(m_, &Subscriber::onSubscribe);
  mosquitto_message_callback_set(m_, &Subscriber::onMessage);
  int rc = MOSQ_ERR_SUCCESS;
  const BrokerOptions& o = broker.options();
  if (o.user) rc = mosquitto_username_pw_set(m_, o.user->first.c_str(), o.user->second.c_str());
  if (rc == MOSQ_ERR_SUCCESS && o.tls)
    rc = mosquitto_tls_set(m_, broker.caFile().c_str(), nullptr, nullptr, nullptr, nullptr);
  if (rc != MOSQ_ERR_SUCCESS) {
    mosquitto_destroy(m_);
    throw std::runtime_error(std::string("subscriber setup: ") + mosquitto_strerror(rc));
  }
  thread_ = std::thread([this, port = broker.port()] { run(port); });
}

Subscriber::~Subscriber() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
  mosquitto_destroy(m_);
}

void Subscriber::run(int port) {
  auto stopWithin = [this](std::chrono::milliseconds ms) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, ms, [this] { return stop_; });
  };
  // A broker that is not up yet is no error: the loop tries again.
  int rc = mosquitto_connect_async(m_, "127.0.0.1", port, 10);
  while (!stopWithin(std::chrono::milliseconds(0))) {
    if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_loop(m_, 100, 1);
    if (rc != MOSQ_ERR_SUCCESS) {
      if (stopWithin(std::chrono::seconds(1))) break;
      rc = mosquitto_reconnect_async(m_);
    }
  }
  // A DISCONNECT, so that the broker keeps the session without a will; the
  // loop sends it and then closes the socket.
  if (mosquitto_disconnect(m_) == MOSQ_ERR_SUCCESS) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(1);
    while (Clock::now() < deadline && mosquitto_loop(m_, 100, 1) == MOSQ_ERR_SUCCESS) {
    }
  }
}

void Subscriber::onConnect(mosquitto* m, void* self, int rc) {
  auto* s = static_cast<Subscriber*>(self);
  {
    std::lock_guard lock(s->mutex_);
    s->lastConnectResult_ = rc;
    if (rc == 0) {
      s->connected_ = true;
      ++s->connects_;
    }
    s->subscribed_ = false;
    s->subscribeMid_ = -1;
  }
  s->changed_.notify_all();
  if (rc != 0 || s->topics_.empty()) return;
  std::vector<char*> topics;
  for (const std::string& t : s->topics_) topics.push_back(const_cast<char*>(t.c_str()));
  int mid = -1;
  // The SUBACK is handled by this same thread, after this callback.
  if (mosquitto_subscribe_multiple(m, &mid, static_cast<int>(topics.size()), topics.data(), 1, 0,
                                   nullptr) == MOSQ_ERR_SUCCESS) {
    std::lock_guard lock(s->mutex_);
    s->subscribeMid_ = mid;
  }
}

void Subscriber::onDisconnect(mosquitto*, void* self, int) {
  auto* s = static_cast<Subscriber*>(self);
  {
    std::lock_guard lock(s->mutex_);
    s->connected_ = false;
    s->subscribed_ = false;
  }
  s->changed_.notify_all();
}

void Subscriber::onSubscribe(mosquitto*, void* self, int mid, int count, const int* granted) {
  auto* s = static_cast<Subscriber*>(self);
  bool all = count == static_cast<int>(s->topics_.size());
  for (int i = 0; all && i < count; ++i) all = granted[i] >= 0 && granted[i] <= 2;
  {
    std::lock_guard lock(s->mutex_);
    if (mid == s->subscribeMid_ && s->connected_) s->subscribed_ = all;
  }
  s->changed_.notify_all();
}

void Subscriber::onMessage(mosquitto*, void* self, const mosquitto_message* message) {
  auto* s = static_cast<Subscriber*>(self);
  Message m;
  m.topic = message->topic != nullptr ? message->topic : "";
  if (message->payload != nullptr && message->payloadlen > 0)
    m.payload.assign(static_cast<const char*>(message->payload),
                     static_cast<std::size_t>(message->payloadlen));
  m.retained = message->retain;
  m.qos = message->qos;
  {
    std::lock_guard lock(s->mutex_);
    s->messages_.push_back(std::move(m));
  }
  s->changed_.notify_all();
}

bool Subscriber::connected() const {
  std::lock_guard lock(mutex_);
  return connected_;
}

bool Subscriber::waitUntilSubscribed(int ms) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return subscribed_; });
}

bool Subscriber::waitFor(const std::function<bool(const std::vector<Message>&)>& pred, int ms) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return pred(messages_); });
}

std::vector<Message> Subscriber::messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

int Subscriber::connects() const {
  std::lock_guard lock(mutex_);
  return connects_;
}

int Subscriber::lastConnectResult() const {
  std::lock_guard lock(mutex_);
  return lastConnectResult_;
}

// ---------------------------------------------------------------- peers

LoopbackPeer::LoopbackPeer(Kind kind) : kind_(kind) {
  if (pipe2(wakeFds_, O_CLOEXEC) != 0)
    throw std::system_error(errno, std::generic_category(), "pipe2");
  listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  if (listenFd_ < 0 || bind(listenFd_, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 ||
      listen(listenFd_, SOMAXCONN) != 0 ||
      getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
    const int error = errno;
    if (listenFd_ >= 0) close(listenFd_);
    close(wakeFds_[0]);
    close(wakeFds_[1]);
    throw std::system_error(error, std::generic_category(), "loopback listener");
  }
  port_ = ntohs(a.sin_port);
  thread_ = std::thread([this] { run(); });
}

LoopbackPeer::~LoopbackPeer() {
  const char byte = 0;
  while (write(wakeFds_[1], &byte, 1) < 0 && errno == EINTR) {
  }
  thread_.join();
  close(listenFd_);
  close(wakeFds_[0]);
  close(wakeFds_[1]);
}

void LoopbackPeer::run() {
  // Packet type 0 does not exist, and its remaining length runs on past the
  // four bytes MQTT allows.
  static const char garbage[] = "\x00\xff\xff\xff\xff\xff this is not MQTT\r\n";
  std::vector<int> clients;
  std::vector<pollfd> polled;
  for (;;) {
    polled.assign({{wakeFds_[0], POLLIN, 0}, {listenFd_, POLLIN, 0}});
    if (kind_ == Kind::Garbage)
      for (const int fd : clients) polled.push_back({fd, POLLIN, 0});
    if (poll(polled.data(), polled.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (polled[0].revents != 0) break;
    if (polled[1].revents & POLLIN) {
      const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (fd >= 0) {
        ++connections_;
        if (kind_ == Kind::Garbage) send(fd, garbage, sizeof garbage - 1, MSG_NOSIGNAL);
        clients.push_back(fd);
      }
    }
    for (std::size_t i = 2; i < polled.size(); ++i) {
      if (polled[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = recv(polled[i].fd, buffer, sizeof buffer, 0);
      if (n > 0 || (n < 0 && (errno == EAGAIN || errno == EINTR))) continue;
      close(polled[i].fd);
      std::erase(clients, polled[i].fd);
    }
  }
  for (const int fd : clients) close(fd);
}

}  // namespace kvn::test
