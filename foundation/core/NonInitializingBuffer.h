#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <type_traits>

namespace core {

// Contiguous buffer of trivially copyable elements that grows without zero-filling. The data
// may begin after the start of the storage: a consumed prefix is not moved. When an append
// does not fit, the new storage holds the larger of twice the data length and the data length
// plus the appended length; the data is copied to its start and the old storage freed.
template <typename T>
class NonInitializingBuffer {
    static_assert(std::is_trivially_copyable<T>::value, "elements are copied as bytes");

public:
    using value_type = T;
    using iterator = T*;
    using const_iterator = const T*;

    NonInitializingBuffer() = default;
    explicit NonInitializingBuffer(std::size_t size) { resize(size); }
    NonInitializingBuffer(const T* data, std::size_t size) { append(data, size); }
    template <typename It>
    NonInitializingBuffer(It first, It last) {
        for (; first != last; ++first) {
            push_back(static_cast<T>(*first));
        }
    }
    ~NonInitializingBuffer() { release(); }

    NonInitializingBuffer(const NonInitializingBuffer& other) {
        append(other.data(), other.size());
    }
    NonInitializingBuffer& operator=(const NonInitializingBuffer& other) {
        if (this != &other) {
            clear();
            append(other.data(), other.size());
        }
        return *this;
    }
    NonInitializingBuffer(NonInitializingBuffer&& other) noexcept { swap(other); }
    NonInitializingBuffer& operator=(NonInitializingBuffer&& other) noexcept {
        if (this != &other) {
            release();
            swap(other);
        }
        return *this;
    }

    void swap(NonInitializingBuffer& other) noexcept {
        std::swap(_storageBegin, other._storageBegin);
        std::swap(_dataBegin, other._dataBegin);
        std::swap(_dataEnd, other._dataEnd);
        std::swap(_storageEnd, other._storageEnd);
    }

    T* data() { return _dataBegin; }
    const T* data() const { return _dataBegin; }
    std::size_t size() const { return static_cast<std::size_t>(_dataEnd - _dataBegin); }
    bool empty() const { return _dataBegin == _dataEnd; }
    std::size_t capacity() const { return static_cast<std::size_t>(_storageEnd - _dataBegin); }

    T* begin() { return _dataBegin; }
    T* end() { return _dataEnd; }
    const T* begin() const { return _dataBegin; }
    const T* end() const { return _dataEnd; }
    T& operator[](std::size_t i) { return _dataBegin[i]; }
    const T& operator[](std::size_t i) const { return _dataBegin[i]; }

    // `values` may point into this buffer's own data.
    void append(const T* values, std::size_t count) {
        if (count == 0) {
            return;
        }
        if (static_cast<std::size_t>(_storageEnd - _dataEnd) >= count) {
            std::memmove(_dataEnd, values, count * sizeof(T));
            _dataEnd += count;
            return;
        }
        grow(count, values);
    }
    template <typename Container>
    void append(const Container& values) {
        append(values.data(), values.size());
    }
    void push_back(T value) { append(&value, 1); }

    // Changes the data length; new elements are left uninitialised.
    void resize(std::size_t count) {
        const std::size_t length = size();
        if (count > length && static_cast<std::size_t>(_storageEnd - _dataEnd) < count - length) {
            grow(count - length, nullptr);
        }
        _dataEnd = _dataBegin + count;
    }
    // Drops the first `count` elements (all of them when fewer are held) without moving the rest.
    void consume(std::size_t count) {
        _dataBegin += std::min(count, size());
        if (_dataBegin == _dataEnd) {
            _dataBegin = _dataEnd = _storageBegin;
        }
    }
    void clear() { _dataBegin = _dataEnd = _storageBegin; }

    bool operator==(const NonInitializingBuffer& other) const {
        return size() == other.size() &&
               (size() == 0 || std::memcmp(data(), other.data(), size() * sizeof(T)) == 0);
    }
    bool operator!=(const NonInitializingBuffer& other) const { return !(*this == other); }

private:
    // Moves the data into new storage with room for `count` more elements and, when `values`
    // is given, appends them; the old storage is freed only afterwards, so `values` may alias it.
    void grow(std::size_t count, const T* values) {
        const std::size_t length = size();
        const std::size_t limit = static_cast<std::size_t>(-1) / sizeof(T);
        if (count > limit - length) {
            throw std::length_error("buffer too large");
        }
        const std::size_t doubled = length > limit / 2 ? limit : length * 2;
        const std::size_t wanted = std::max(doubled, length + count);
        T* storage = static_cast<T*>(::operator new(wanted * sizeof(T)));
        if (length > 0) {
            std::memcpy(storage, _dataBegin, length * sizeof(T));
        }
        if (values != nullptr) {
            std::memcpy(storage + length, values, count * sizeof(T));
        }
        release();
        _storageBegin = _dataBegin = storage;
        _dataEnd = storage + length + (values != nullptr ? count : 0);
        _storageEnd = storage + wanted;
    }
    void release() {
        ::operator delete(_storageBegin);
        _storageBegin = _dataBegin = _dataEnd = _storageEnd = nullptr;
    }

    T* _storageBegin = nullptr;
    T* _dataBegin = nullptr;
    T* _dataEnd = nullptr;
    T* _storageEnd = nullptr;
};

}  // namespace core
