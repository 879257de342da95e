#pragma once
// A package manager for tests of code that must never reach it: every call fails the test.

#include <gtest/gtest.h>

#include <stdexcept>

#include "packages/package_manager_bridge.h"

namespace halvern::testing {

class UncalledPackageManager final : public PackageManagerBridge {
  public:
    std::vector<PackageInfo> FindPackagesForCurrentUser(const std::u16string&) override {
        return Unexpected<std::vector<PackageInfo>>();
    }
    std::vector<PackageInfo> FindPackagesForAllUsers(const std::u16string&) override {
        return Unexpected<std::vector<PackageInfo>>();
    }
    std::vector<std::unique_ptr<PackageUserInformation>> FindPackageUsers(const std::u16string&) override {
        return Unexpected<std::vector<std::unique_ptr<PackageUserInformation>>>();
    }
    void RemovePackageForAllUsers(const std::u16string&) override { Unexpected<void>(); }
    void DeprovisionForAllUsers(const std::u16string&) override { Unexpected<void>(); }

  private:
    template <typename T>
    static T Unexpected() {
        ADD_FAILURE() << "the cleanup pass called the package manager";
        throw std::logic_error("unexpected package manager call");
    }
};

}  // namespace halvern::testing
