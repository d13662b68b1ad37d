// Holds a platform mutex for the life of a scope.
#pragma once

#include "sal.h"

class SalLock {
  public:
    explicit SalLock(sal_mutex_t m) : m_(m) { sal_mutex_take(m_, sal_mutex_FOREVER); }
    ~SalLock() { sal_mutex_give(m_); }
    SalLock(const SalLock &) = delete;
    SalLock &operator=(const SalLock &) = delete;

  private:
    sal_mutex_t m_;
};
