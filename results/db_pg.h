// The results server: a PostgreSQL database that many stations report to.
// The station's "RESULTS.DB" is its outbox (ResultsDb::FeedOutbox): every row
// recorded or changed is copied there in the same transaction, and a sender
// thread takes the copies in order, writes them to the server in one
// transaction a batch, keyed by the station's name and the row's local id
// (so a batch sent twice, after a kill between the server's commit and the
// outbox's, lands once), and only then removes them from the outbox. When
// the server cannot be reached the copies wait and the sender tries again
// every few seconds.
//
// The connection string (ORVANE_RESULTS_URL, a libpq keyword string or URI)
// is never printed or logged: messages name the server by its host and
// database only. A password may come from ~/.pgpass through libpq.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

namespace orvane {

// The environment variable naming the results server.
inline constexpr const char* kResultsUrlVariable = "ORVANE_RESULTS_URL";
// Seconds between attempts while the server cannot be reached.
inline constexpr double kResultsRetrySeconds = 3.0;

// Rows sent to the server in one transaction, at most.
inline constexpr int kResultsBatchRows = 1000;

// "host/database" of a connection string, for messages: never its password
// or any other keyword. "the results server" when it does not parse.
std::string ServerName(const std::string& url);

// The connection string as it may be shown back (the Set-Up field): every
// password in it (a URI's "user:password@", a "password=" keyword or
// parameter) replaced by "********".
std::string MaskedServerUrl(const std::string& url);
// What a field that showed MaskedServerUrl(stored) names when it reads
// `typed`: the stored string while the shown text is left as it was.
std::string TypedServerUrl(const std::string& typed, const std::string& stored);

// Sends the outbox of the database at `db_path` to the server at `url` as the
// station `station`, on a thread of its own, from construction to
// destruction.
class ResultsSender {
 public:
  ResultsSender(std::filesystem::path db_path, std::string url, std::string station);
  ~ResultsSender();
  ResultsSender(const ResultsSender&) = delete;
  ResultsSender& operator=(const ResultsSender&) = delete;

  // Sends at once (a result was just recorded) instead of at the next retry.
  void Wake();
  // Waits until the outbox is empty or `seconds` have passed; true when
  // it is empty.
  bool WaitEmpty(double seconds);
  // The last failure to reach or write the server ("" while it answers), as
  // a message naming the server by ServerName.
  std::string LastError() const;
  // Rows sent since the start.
  uint64_t sent() const { return sent_.load(); }

  // One pass over the outbox: sends everything waiting; false when the
  // server could not take it (the rows wait). For the thread and for tests.
  bool SendWaiting();

 private:
  void Run();

  std::filesystem::path db_path_;
  std::string url_;
  std::string station_;
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> sent_{0};
  bool wake_ = false;
  bool empty_ = false;
  std::string error_;
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::condition_variable emptied_;
  struct Connection;
  Connection* connection_ = nullptr; // owned; used by the sender's thread only
  std::thread thread_;
};

} // namespace orvane
