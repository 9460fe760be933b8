// The program's own large stack: a thread that does all the work while main() waits.
#include "startup/large_stack.h"

#include <pthread.h>

namespace morivel::startup {

namespace {

struct Job {
  const std::function<int()>* body;
  int result = 0;
};

void* run_job(void* raw) {
  Job* job = static_cast<Job*>(raw);
  job->result = (*job->body)();
  return nullptr;
}

}  // namespace

int RunOnLargeStack(const std::function<int()>& body, std::size_t stack_bytes) {
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return body();
  Job job{&body};
  pthread_t thread;
  bool started = pthread_attr_setstacksize(&attributes, stack_bytes) == 0 &&
                 pthread_create(&thread, &attributes, run_job, &job) == 0;
  pthread_attr_destroy(&attributes);
  if (!started) return body();
  pthread_join(thread, nullptr);
  return job.result;
}

}  // namespace morivel::startup
