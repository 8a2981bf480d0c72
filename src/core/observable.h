// Published values and their observers, as the views watch the services.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace dozewick {

// Keeps one observer connected for as long as it lives; outliving the signal is safe.
class Subscription {
 public:
  Subscription() = default;
  explicit Subscription(std::function<void()> disconnect) : disconnect_(std::move(disconnect)) {}
  Subscription(Subscription&& other) noexcept : disconnect_(std::exchange(other.disconnect_, {})) {}
  Subscription& operator=(Subscription&& other) noexcept {
    if (this != &other) {
      reset();
      disconnect_ = std::exchange(other.disconnect_, {});
    }
    return *this;
  }
  Subscription(const Subscription&) = delete;
  Subscription& operator=(const Subscription&) = delete;
  ~Subscription() { reset(); }

  void reset() {
    if (auto disconnect = std::exchange(disconnect_, {}))
      disconnect();
  }

 private:
  std::function<void()> disconnect_;
};

// A list of observers. Observers may connect or disconnect while it notifies: one that
// disconnects is not called again, one that connects is called from the next notice on.
template <class... Args>
class Signal {
 public:
  using Slot = std::function<void(const Args&...)>;

  Signal() = default;
  Signal(const Signal&) = delete;
  Signal& operator=(const Signal&) = delete;

  [[nodiscard]] Subscription connect(Slot slot) const {
    auto entry = std::make_shared<Entry>(Entry{std::move(slot), true});
    entries_->push_back(entry);
    std::weak_ptr<Entries> weakEntries = entries_;
    std::weak_ptr<Entry> weakEntry = entry;
    return Subscription([weakEntries, weakEntry] {
      auto entry = weakEntry.lock();
      if (!entry)
        return;
      entry->connected = false;
      if (auto entries = weakEntries.lock())
        std::erase(*entries, entry);
    });
  }

  void notify(const Args&... args) const {
    if (entries_->empty())
      return;
    const Entries snapshot = *entries_;
    for (const auto& entry : snapshot) {
      if (entry->connected)
        entry->slot(args...);
    }
  }

  std::size_t observerCount() const { return entries_->size(); }

 private:
  struct Entry {
    Slot slot;
    bool connected;
  };
  using Entries = std::vector<std::shared_ptr<Entry>>;
  std::shared_ptr<Entries> entries_ = std::make_shared<Entries>();
};

// An object whose published values announce every assignment before it is stored.
class ObservableObject {
 public:
  // Fires before any published value of the object is stored, and whenever the object
  // announces a change of its own. Observers re-read the values later, not inside the call.
  const Signal<>& objectWillChange() const { return objectWillChange_; }

 protected:
  ObservableObject() = default;
  ~ObservableObject() = default;
  ObservableObject(const ObservableObject&) = delete;
  ObservableObject& operator=(const ObservableObject&) = delete;

  void sendObjectWillChange() const { objectWillChange_.notify(); }

 private:
  Signal<> objectWillChange_;
};

// One published property. Every assignment notifies first and then stores the value, also
// when the new value equals the old one.
template <class T>
class Published {
 public:
  Published(const ObservableObject& owner, T initial) : owner_(owner), value_(std::move(initial)) {}
  Published(const Published&) = delete;
  Published& operator=(const Published&) = delete;

  const T& get() const { return value_; }
  const T& operator()() const { return value_; }

  void set(T value) {
    willSet_.notify(value);
    owner_.objectWillChange().notify();
    value_ = std::move(value);
  }
  Published& operator=(T value) {
    set(std::move(value));
    return *this;
  }

  // Notified with the new value before it is stored.
  const Signal<T>& willSet() const { return willSet_; }

 private:
  const ObservableObject& owner_;
  Signal<T> willSet_;
  T value_;
};

}  // namespace dozewick
