#include "support/mqtt_broker.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kvn::test {

namespace {

std::once_flag libraryOnce;

int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t size = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
  close(fd);
  return ntohs(a.sin_port);
}

bool Accepts(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  close(fd);
  return ok;
}

// Runs a command in folder with its output into folder/setup.log; true on
// exit status 0.
bool Run(const std::string& folder, const std::string& command) {
  const std::string line = "cd '" + folder + "' && " + command + " >>setup.log 2>&1";
  return std::system(line.c_str()) == 0;
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A CA (name.pem, name.key) and, when server is set, a certificate it signs
// for 127.0.0.1 and localhost (server.pem, server.key).
bool MakeCa(const std::string& folder, const std::string& name, bool server) {
  const std::string ec = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
  if (!Run(folder, "openssl req -x509 " + ec + " -days 2 -subj '/CN=kvn test " + name +
                       "' -keyout " + name + ".key -out " + name + ".pem"))
    return false;
  if (!server) return true;
  WriteFile(folder + "/san.ext", "subjectAltName=IP:127.0.0.1,DNS:localhost\n");
  return Run(folder, "openssl req -new " + ec +
                         " -subj '/CN=localhost' -keyout server.key -out server.csr") &&
         Run(folder, "openssl x509 -req -in server.csr -CA " + name + ".pem -CAkey " + name +
                         ".key -CAcreateserial -days 2 -extfile san.ext -out server.pem");
}

}  // namespace

MosquittoBroker::MosquittoBroker(BrokerOptions options) : options_(std::move(options)) {
  std::string pattern = (std::filesystem::temp_directory_path() / "kvn_mosquitto_XXXXXX").string();
  if (mkdtemp(pattern.data())) folder_ = pattern;
  port_ = FreePort();
}

MosquittoBroker::~MosquittoBroker() {
  kill();
  std::error_code ec;
  if (!folder_.empty()) std::filesystem::remove_all(folder_, ec);
}

bool MosquittoBroker::prepare() {
  if (folder_.empty()) {
    problem_ = "no temporary folder";
    return false;
  }
  std::ostringstream conf;
  conf << "listener " << port_ << " 127.0.0.1\n"
       << "persistence true\npersistence_location " << folder_ << "/\n"
       << "autosave_interval 1\n"
       << "log_dest stderr\nlog_type error\nlog_type warning\nlog_type notice\n";
  // As root, mosquitto would become the user mosquitto, who cannot read here.
  if (const passwd* me = getpwuid(geteuid())) conf << "user " << me->pw_name << "\n";
  if (options_.user) {
    const std::string file = folder_ + "/passwd";
    WriteFile(file, "");
    if (!Run(folder_, "mosquitto_passwd -b passwd '" + options_.user->first + "' '" +
                          options_.user->second + "'")) {
      problem_ = "mosquitto_passwd failed";
      return false;
    }
    chmod(file.c_str(), 0600);
    conf << "allow_anonymous false\npassword_file " << file << "\n";
  } else {
    conf << "allow_anonymous true\n";
  }
  if (options_.tls) {
    if (!MakeCa(folder_, "ca", true) || !MakeCa(folder_, "other-ca", false)) {
      problem_ = "openssl failed";
      return false;
    }
    conf << "cafile " << caFile() << "\ncertfile " << folder_ << "/server.pem\nkeyfile " << folder_
         << "/server.key\nrequire_certificate false\n";
  }
  WriteFile(folder_ + "/mosquitto.conf", conf.str());
  return true;
}

bool MosquittoBroker::start() {
  if (running()) return true;
  if (!prepared_ && !(prepared_ = prepare())) return false;
  const std::string conf = folder_ + "/mosquitto.conf";
  const std::string out = folder_ + "/broker.log";
  pid_ = fork();
  if (pid_ == 0) {
    const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    dup2(fd, 1);
    dup2(fd, 2);
    setpgid(0, 0);
    execlp("mosquitto", "mosquitto", "-c", conf.c_str(), static_cast<char*>(nullptr));
    execl("/usr/sbin/mosquitto", "mosquitto", "-c", conf.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < until) {
    if (Accepts(port_)) return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      problem_ = "the broker ended at start";
      return false;
    }
    usleep(20000);
  }
  problem_ = "the broker did not listen within 10 s";
  return false;
}

void MosquittoBroker::end(int signal) {
  if (!running()) return;
  ::kill(pid_, signal);
  ::kill(pid_, SIGCONT);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

void MosquittoBroker::kill() { end(SIGKILL); }
void MosquittoBroker::stop() { end(SIGTERM); }
void MosquittoBroker::pause() {
  if (running()) ::kill(pid_, SIGSTOP);
}
void MosquittoBroker::resume() {
  if (running()) ::kill(pid_, SIGCONT);
}

std::string MosquittoBroker::log() const {
  std::string text = problem_ + "\n";
  for (const char* name : {"/setup.log", "/broker.log"}) {
    std::ifstream in(folder_ + name);
    text += std::string(std::istreambuf_iterator<char>(in), {});
  }
  return text;
}

Subscriber::Subscriber(const MosquittoBroker& broker, std::vector<std::string> topics,
                       std::string clientId)
    : topics_(std::move(topics)) {
  std::call_once(libraryOnce, [] { mosquitto_lib_init(); });
  client_ = mosquitto_new(clientId.c_str(), false, this);
  mosquitto_connect_callback_set(client_, &Subscriber::OnConnect);
  mosquitto_subscribe_callback_set(client_, &Subscriber::OnSubscribe);
  mosquitto_message_callback_set(client_, &Subscriber::OnMessage);
  mosquitto_reconnect_delay_set(client_, 1, 1, false);
  // The broker's user and CA are the subscriber's.
  if (broker.options().user)
    mosquitto_username_pw_set(client_, broker.options().user->first.c_str(),
                              broker.options().user->second.c_str());
  if (broker.options().tls)
    mosquitto_tls_set(client_, broker.caFile().c_str(), nullptr, nullptr, nullptr, nullptr);
  mosquitto_connect_async(client_, "127.0.0.1", broker.port(), 10);
  mosquitto_loop_start(client_);
}

Subscriber::~Subscriber() {
  mosquitto_disconnect(client_);
  mosquitto_loop_stop(client_, true);
  mosquitto_destroy(client_);
}

void Subscriber::OnConnect(mosquitto* m, void* self, int rc) {
  if (rc != 0) return;
  for (const std::string& topic : static_cast<Subscriber*>(self)->topics_)
    mosquitto_subscribe(m, nullptr, topic.c_str(), 1);
}

void Subscriber::OnSubscribe(mosquitto*, void* self, int, int, const int*) {
  auto* s = static_cast<Subscriber*>(self);
  std::lock_guard lock(s->mutex_);
  s->subscribed_ = true;
  s->changed_.notify_all();
}

void Subscriber::OnMessage(mosquitto*, void* self, const mosquitto_message* m) {
  auto* s = static_cast<Subscriber*>(self);
  std::lock_guard lock(s->mutex_);
  s->messages_.push_back(
      {m->topic,
       std::string(static_cast<const char*>(m->payload), static_cast<std::size_t>(m->payloadlen)),
       m->retain, m->qos});
  s->changed_.notify_all();
}

bool Subscriber::waitUntilSubscribed(int ms) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return subscribed_; });
}

bool Subscriber::waitFor(const std::function<bool(const std::vector<Message>&)>& done, int ms) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return done(messages_); });
}

std::vector<Message> Subscriber::messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

Peer::Peer(std::string answer) : answer_(std::move(answer)) {
  listener_ = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
  listen(listener_, 64);
  socklen_t size = sizeof a;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &size);
  port_ = ntohs(a.sin_port);
  if (pipe(wake_) != 0) std::abort();
  thread_ = std::thread([this] { serve(); });
}

Peer::~Peer() {
  const char stop = 0;
  if (write(wake_[1], &stop, 1) != 1) std::abort();
  thread_.join();
  for (const int fd : accepted_) close(fd);
  close(listener_);
  close(wake_[0]);
  close(wake_[1]);
}

void Peer::serve() {
  for (;;) {
    std::vector<pollfd> fds{{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
    // A garbage peer reads and discards; a stalled one reads nothing.
    if (!answer_.empty())
      for (const int fd : accepted_) fds.push_back({fd, POLLIN, 0});
    if (poll(fds.data(), fds.size(), -1) < 0) continue;
    if (fds[0].revents != 0) return;
    if (fds[1].revents != 0) {
      const int fd = accept(listener_, nullptr, nullptr);
      if (fd >= 0) {
        ++connections_;
        accepted_.push_back(fd);
        if (!answer_.empty()) (void)send(fd, answer_.data(), answer_.size(), MSG_NOSIGNAL);
      }
    }
    for (std::size_t i = 2; i < fds.size(); ++i) {
      if (fds[i].revents == 0) continue;
      char buffer[4096];
      if (recv(fds[i].fd, buffer, sizeof buffer, 0) <= 0) {
        close(fds[i].fd);
        accepted_.erase(std::find(accepted_.begin(), accepted_.end(), fds[i].fd));
      }
    }
  }
}

namespace {

// What a web server answers: no packet a client may get before CONNACK.
std::string WebPage() {
  std::string page = "HTTP/1.1 400 Bad Request\r\nContent-Type: text/html\r\n\r\n<html>";
  while (page.size() < 2048) page += "<p>This is a web server, not an MQTT broker.</p>";
  return page;
}

}  // namespace

GarbagePeer::GarbagePeer() : Peer(WebPage()) {}

}  // namespace kvn::test
