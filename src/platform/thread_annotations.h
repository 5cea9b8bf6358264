// Lock annotations that Clang's thread-safety analysis checks
// (-Wthread-safety); they expand to nothing for other compilers.
//
//   class Account {
//    public:
//     void Deposit(int amount) EXCLUDES(mu_) {
//       MutexLock lock(&mu_);
//       AddLocked(amount);
//     }
//    private:
//     void AddLocked(int amount) REQUIRES(mu_) { balance_ += amount; }
//     Mutex mu_;                      // guards balance_
//     int balance_ GUARDED_BY(mu_) = 0;
//   };
//
// Only types marked CAPABILITY count as locks: the standard mutexes are not,
// so guarded members use the lock types of platform/mutex.h and
// platform/small_lock.h. scripts/check-thread-safety runs the analysis over
// every source file.
#pragma once

#if defined(__clang__)
#define TAVRIX_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define TAVRIX_THREAD_ANNOTATION(x)
#endif

// On a class: its objects are locks ("mutex" names the kind in messages).
#define CAPABILITY(x) TAVRIX_THREAD_ANNOTATION(capability(x))

// On a class: an object that holds a lock for its own lifetime.
#define SCOPED_CAPABILITY TAVRIX_THREAD_ANNOTATION(scoped_lockable)

// On a member: reading needs the lock held (shared at least), writing needs
// it held exclusively.
#define GUARDED_BY(x) TAVRIX_THREAD_ANNOTATION(guarded_by(x))

// On a pointer member: the same for what it points to (the pointer itself
// is not guarded).
#define PT_GUARDED_BY(x) TAVRIX_THREAD_ANNOTATION(pt_guarded_by(x))

// On a lock member: the order in which locks are taken (checked only with
// -Wthread-safety-beta).
#define ACQUIRED_BEFORE(...) TAVRIX_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define ACQUIRED_AFTER(...) TAVRIX_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))

// On a function: the caller must hold the locks (exclusively, or at least
// shared) and still holds them on return.
#define REQUIRES(...) TAVRIX_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define REQUIRES_SHARED(...) TAVRIX_THREAD_ANNOTATION(requires_shared_capability(__VA_ARGS__))

// On a function: it takes the locks and returns holding them.
#define ACQUIRE(...) TAVRIX_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define ACQUIRE_SHARED(...) TAVRIX_THREAD_ANNOTATION(acquire_shared_capability(__VA_ARGS__))

// On a function: the caller holds the locks and they are released on return.
#define RELEASE(...) TAVRIX_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define RELEASE_SHARED(...) TAVRIX_THREAD_ANNOTATION(release_shared_capability(__VA_ARGS__))

// On a function: it tries to take the locks; the first argument is the return
// value that means it did.
#define TRY_ACQUIRE(...) TAVRIX_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define TRY_ACQUIRE_SHARED(...) \
  TAVRIX_THREAD_ANNOTATION(try_acquire_shared_capability(__VA_ARGS__))

// On a function: the caller must not hold the locks (the function takes
// them, and they are not re-entrant).
#define EXCLUDES(...) TAVRIX_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))

// On a function: it checks at run time that the lock is held; afterwards
// the analysis assumes so.
#define ASSERT_CAPABILITY(x) TAVRIX_THREAD_ANNOTATION(assert_capability(x))
#define ASSERT_SHARED_CAPABILITY(x) TAVRIX_THREAD_ANNOTATION(assert_shared_capability(x))

// On a function: it returns (a reference to) the given lock.
#define RETURN_CAPABILITY(x) TAVRIX_THREAD_ANNOTATION(lock_returned(x))

// On a function: the analysis skips its body. Every use says why.
#define NO_THREAD_SAFETY_ANALYSIS TAVRIX_THREAD_ANNOTATION(no_thread_safety_analysis)
