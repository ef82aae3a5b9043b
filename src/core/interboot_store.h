// Text values under HKEY_CURRENT_USER\InterbootContext that survive a restart:
// the return codes of setups, published under their RetValPropName. The key
// is deleted when the store is destroyed unless a restart is pending.
#pragma once
#include <cstdint>
#include <string>

#include "install/setup_launcher.h"

class ChainerConfig;

class InterbootStore : public IReturnValueSink {
 public:
  using EndHook = void (*)(InterbootStore& store, ChainerConfig& config);

  InterbootStore(ChainerConfig& config, EndHook end_hook);
  ~InterbootStore() override;
  InterbootStore(const InterbootStore&) = delete;
  InterbootStore& operator=(const InterbootStore&) = delete;

  // Stores the value as decimal text.
  void SetInt(const std::string& name, int32_t value) override;
  // 0 written; 3 not written because a value of that name is there already
  // (the first value stays), the name is empty, or the registry refused.
  virtual int32_t SetString(const std::string& name, const std::string& text);
  // 0 found; 2 missing or not a whole decimal number.
  virtual int32_t GetInt(const std::string& name, int32_t* value);
  // 0 found; 1 key or value missing.
  virtual int32_t GetString(const std::string& name, std::string* text);
  // 0 when deleted.
  virtual int32_t DeleteValue(const std::string& name);

  // The stored values, in the registry's order.
  class ValueIterator {
   public:
    bool operator!=(const ValueIterator& other) const { return index_ != other.index_; }
    ValueIterator& operator++() {
      ++index_;
      return *this;
    }
    // The value's name and text at this position.
    std::pair<std::string, std::string> operator*() const;

   private:
    friend class InterbootStore;
    ValueIterator(const std::string* key_name, uint32_t index)
        : key_name_(key_name), index_(index) {}
    const std::string* key_name_;
    uint32_t index_;
  };
  virtual ValueIterator BeginValues();
  virtual ValueIterator EndValues();

  const std::string key_name = "InterbootContext";
  bool delete_at_end = true;

 private:
  EndHook end_hook_;
  ChainerConfig& hook_argument_;
};

// The driver's end hook: each stored value goes to the prerequisites whose
// RetValPropName names it.
void CopyStoredReturnValues(InterbootStore& store, ChainerConfig& config);
