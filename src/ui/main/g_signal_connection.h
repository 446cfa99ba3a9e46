#pragma once
// Holds one handler of a GObject C signal and disconnects it when it goes
// away, unless the object died first (a weak pointer tells). The C++ object
// that receives the signal keeps these as members, so no handler outlives it.

#include <glib-object.h>

#include <utility>

namespace nuve::ui {

class GSignalConnection {
 public:
  GSignalConnection() = default;
  GSignalConnection(gpointer instance, const char* signal, GCallback callback, gpointer data)
      : instance_(instance), id_(g_signal_connect(instance, signal, callback, data)) {
    g_object_add_weak_pointer(G_OBJECT(instance_), &instance_);
  }
  ~GSignalConnection() { Disconnect(); }

  GSignalConnection(GSignalConnection&& other) noexcept
      : instance_(std::exchange(other.instance_, nullptr)), id_(std::exchange(other.id_, 0)) {
    if (instance_ != nullptr) {
      g_object_remove_weak_pointer(G_OBJECT(instance_), &other.instance_);
      g_object_add_weak_pointer(G_OBJECT(instance_), &instance_);
    }
  }
  GSignalConnection& operator=(GSignalConnection&& other) noexcept {
    if (this != &other) {
      Disconnect();
      instance_ = std::exchange(other.instance_, nullptr);
      id_ = std::exchange(other.id_, 0);
      if (instance_ != nullptr) {
        g_object_remove_weak_pointer(G_OBJECT(instance_), &other.instance_);
        g_object_add_weak_pointer(G_OBJECT(instance_), &instance_);
      }
    }
    return *this;
  }
  GSignalConnection(const GSignalConnection&) = delete;
  GSignalConnection& operator=(const GSignalConnection&) = delete;

  void Disconnect() {
    if (instance_ != nullptr) {
      if (id_ != 0) g_signal_handler_disconnect(instance_, id_);
      g_object_remove_weak_pointer(G_OBJECT(instance_), &instance_);
    }
    instance_ = nullptr;
    id_ = 0;
  }

 private:
  gpointer instance_ = nullptr;
  gulong id_ = 0;
};

}  // namespace nuve::ui
