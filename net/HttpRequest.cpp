#include "net/HttpRequest.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "net/HttpTransport.h"
#include "net/Text.h"

namespace {

// ---- the two error boxes ------------------------------------------------

std::mutex& HandlerMutex() {
  static auto* m = new std::mutex;  // never destroyed: usable during exit
  return *m;
}
std::function<void(const std::u16string&)>& Handler() {
  static auto* h = new std::function<void(const std::u16string&)>;
  return *h;
}
std::atomic<bool> parseBoxShown{false};
std::atomic<bool> downloadBoxShown{false};

// ---- timed requests -----------------------------------------------------

// Shared by the caller and its worker; whoever lets go last frees it.
struct TimedJob {
  std::u16string url;
  std::u16string formData;
  std::u16string answer;
  std::atomic<bool> cancel{false};
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  int exitCode = 0;
};

// Keeps count of workers still running. At exit it cancels them and waits a
// little, so no transfer is under way while the HTTP library is torn down.
class WorkerRegistry {
 public:
  WorkerRegistry() {
    // The library registers its own exit handlers now, before ours, so that
    // ours (ExitGuard below) run first.
    PrepareHttpTransport();
  }

  void Add(const std::shared_ptr<TimedJob>& job) {
    std::lock_guard lock(mutex_);
    std::erase_if(jobs_, [](const std::weak_ptr<TimedJob>& j) { return j.expired(); });
    jobs_.push_back(job);
    ++live_;
  }
  void Remove() {
    std::lock_guard lock(mutex_);
    --live_;
    idle_.notify_all();
  }
  void CancelAndWait(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    for (const auto& weak : jobs_) {
      if (auto job = weak.lock()) job->cancel = true;
    }
    idle_.wait_for(lock, wait, [this] { return live_ == 0; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable idle_;
  std::vector<std::weak_ptr<TimedJob>> jobs_;
  int live_ = 0;
};

WorkerRegistry& Registry() {
  static auto* registry = new WorkerRegistry;  // never destroyed: workers may outlive exit
  return *registry;
}

struct ExitGuard {
  ~ExitGuard() { Registry().CancelAndWait(std::chrono::milliseconds(3000)); }
};

// A worker's transfer may run this much longer than its caller waits; the
// cancel flag normally ends an abandoned transfer within about a second.
constexpr std::chrono::milliseconds kWorkerGrace{3000};

void RunWorker(std::shared_ptr<TimedJob> job, std::chrono::milliseconds cap) {
  HttpRequestArgs args;
  args.url = job->url;
  args.formData = job->formData;
  std::u16string answer = PerformHttpRequest(args, HttpTransferControl{cap, &job->cancel});
  {
    std::lock_guard lock(job->mutex);
    job->answer = std::move(answer);
    job->exitCode = job->answer.empty() ? 0 : 1;
    job->done = true;
  }
  job->finished.notify_all();
  Registry().Remove();
}

}  // namespace

void ReportHttpError(HttpErrorBox box, bool showErrors) {
  if (!showErrors) return;
  std::atomic<bool>& shown = box == HttpErrorBox::kParse ? parseBoxShown : downloadBoxShown;
  if (shown.exchange(true)) return;
  const std::u16string text = box == HttpErrorBox::kParse ? u"URL Parsing Error!!" : u"URL_String Download Fail!!";
  std::function<void(const std::u16string&)> handler;
  {
    std::lock_guard lock(HandlerMutex());
    handler = Handler();
  }
  if (handler) handler(text);
}

void SetHttpMessageBoxHandler(std::function<void(const std::u16string&)> handler) {
  std::lock_guard lock(HandlerMutex());
  Handler() = std::move(handler);
}

HttpRequestBody BuildHttpRequestBody(const HttpRequestArgs& args) {
  const std::u16string_view form = args.formData.value_or(std::u16string_view{});
  HttpRequestBody out;
  out.post = !form.empty() && form.front() != u'\0';
  if (args.rawBodyLength > 0) {
    out.bytes.assign(reinterpret_cast<const char*>(form.data()), static_cast<std::size_t>(args.rawBodyLength));
  } else {
    out.bytes = Utf16ToUtf8(form.substr(0, std::min(form.size(), form.find(u'\0'))));
  }
  return out;
}

std::u16string SendHttpRequest(std::optional<std::u16string_view> url, std::optional<std::u16string_view> formData,
                               bool showErrors, std::array<char, 33>* digestOut, int32_t rawBodyLength,
                               std::optional<std::u16string_view> extraHeaders) {
  HttpRequestArgs args{url, formData, showErrors, digestOut, rawBodyLength, extraHeaders};
  return PerformHttpRequest(args, HttpTransferControl{});
}

bool SendHttpRequestTimed(std::u16string_view url, std::u16string_view formData, std::u16string& answer,
                          std::chrono::milliseconds limit) {
  WorkerRegistry& registry = Registry();
  static ExitGuard exitGuard;  // after the registry and the library: torn down before them
  (void)exitGuard;

  auto job = std::make_shared<TimedJob>();
  job->url.assign(url);
  job->formData.assign(formData);
  registry.Add(job);
  try {
    std::thread(RunWorker, job, limit + kWorkerGrace).detach();
  } catch (...) {
    registry.Remove();
    return false;
  }

  std::unique_lock lock(job->mutex);
  if (!job->finished.wait_for(lock, limit, [&] { return job->done; })) {
    job->cancel = true;  // abandoned: the worker finishes on its own copy
    return false;
  }
  if (job->exitCode == 0 || job->answer.empty()) return false;
  answer = job->answer;
  return true;
}
