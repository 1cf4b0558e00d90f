// Small owners for GLib, GObject and cairo references, so no unref path can be forgotten.
#pragma once

#include <cairo.h>
#include <glib-object.h>

#include <utility>

namespace quorvel::platform::gtk {

// Owns one reference to a GObject (or anything released with g_object_unref).
template <typename T>
class GObjectOwner {
 public:
  GObjectOwner() = default;
  explicit GObjectOwner(T* object) : object_(object) {}
  GObjectOwner(const GObjectOwner&) = delete;
  GObjectOwner& operator=(const GObjectOwner&) = delete;
  GObjectOwner(GObjectOwner&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  GObjectOwner& operator=(GObjectOwner&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.object_, nullptr));
    return *this;
  }
  ~GObjectOwner() { Reset(); }

  T* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  T* Release() { return std::exchange(object_, nullptr); }
  void Reset(T* object = nullptr) {
    if (object_ != nullptr) g_object_unref(object_);
    object_ = object;
  }

 private:
  T* object_ = nullptr;
};

// Owns a GError until it has been looked at.
class ErrorOwner {
 public:
  ErrorOwner() = default;
  ErrorOwner(const ErrorOwner&) = delete;
  ErrorOwner& operator=(const ErrorOwner&) = delete;
  ~ErrorOwner() { g_clear_error(&error_); }
  GError** out() { return &error_; }
  GError* get() const { return error_; }

 private:
  GError* error_ = nullptr;
};

// Owns memory from g_malloc (texts that GLib hands over).
class GCharOwner {
 public:
  explicit GCharOwner(gchar* text) : text_(text) {}
  GCharOwner(const GCharOwner&) = delete;
  GCharOwner& operator=(const GCharOwner&) = delete;
  ~GCharOwner() { g_free(text_); }
  const gchar* get() const { return text_; }

 private:
  gchar* text_;
};

// Owns one reference to a GBytes.
class BytesOwner {
 public:
  BytesOwner() = default;
  explicit BytesOwner(GBytes* bytes) : bytes_(bytes) {}
  BytesOwner(const BytesOwner&) = delete;
  BytesOwner& operator=(const BytesOwner&) = delete;
  ~BytesOwner() {
    if (bytes_ != nullptr) g_bytes_unref(bytes_);
  }
  GBytes* get() const { return bytes_; }

 private:
  GBytes* bytes_ = nullptr;
};

}  // namespace quorvel::platform::gtk
