#pragma once
// The objects the test package manager hands out; each comes with one reference for the caller.

#include <memory>
#include <string>
#include <vector>

#include "platform/abi/deployment.h"
#include "session.h"

namespace test_package_manager {

abi::IIterable<abi::IPackage>* NewPackageList(std::shared_ptr<Session> session,
                                              std::vector<PackageEntry> packages);
abi::IIterable<abi::IPackageUserInformation>* NewUserList(std::shared_ptr<Session> session,
                                                          std::vector<UserEntry> users);
// Completes at once, or from a worker thread once a Completed handler is set ("completion later").
// A successful outcome writes the state line.
abi::IDeploymentOperation* NewOperation(std::shared_ptr<Session> session, DeploymentOutcome outcome,
                                        std::wstring state_line);
abi::IInspectable* NewPackageManager(std::shared_ptr<Session> session);

}  // namespace test_package_manager
