// The declared interface ids and slot positions, checked against the platform's published table:
// a wrong one compiles and works against our own test component, then crashes on Windows.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <string>

#include "platform/abi/deployment.h"

namespace halvern::abi {
namespace {

// SHA-1 (FIPS 180-4), enough for a few short signatures.
std::array<std::uint8_t, 20> Sha1(const std::string& message) {
    std::uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    std::string data = message;
    const std::uint64_t bits = static_cast<std::uint64_t>(message.size()) * 8;
    data.push_back(static_cast<char>(0x80));
    while (data.size() % 64 != 56) {
        data.push_back('\0');
    }
    for (int shift = 56; shift >= 0; shift -= 8) {
        data.push_back(static_cast<char>((bits >> shift) & 0xFF));
    }
    const auto rotl = [](std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); };
    for (std::size_t block = 0; block < data.size(); block += 64) {
        std::uint32_t w[80];
        for (int i = 0; i < 16; ++i) {
            w[i] = 0;
            for (int j = 0; j < 4; ++j) {
                w[i] = (w[i] << 8) |
                       static_cast<std::uint8_t>(data[block + static_cast<std::size_t>(i * 4 + j)]);
            }
        }
        for (int i = 16; i < 80; ++i) {
            w[i] = rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
        }
        std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        for (int i = 0; i < 80; ++i) {
            std::uint32_t f = 0;
            std::uint32_t k = 0;
            if (i < 20) {
                f = (b & c) | (~b & d);
                k = 0x5A827999;
            } else if (i < 40) {
                f = b ^ c ^ d;
                k = 0x6ED9EBA1;
            } else if (i < 60) {
                f = (b & c) | (b & d) | (c & d);
                k = 0x8F1BBCDC;
            } else {
                f = b ^ c ^ d;
                k = 0xCA62C1D6;
            }
            const std::uint32_t next = rotl(a, 5) + f + e + k + w[i];
            e = d;
            d = c;
            c = rotl(b, 30);
            b = a;
            a = next;
        }
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
        h[4] += e;
    }
    std::array<std::uint8_t, 20> digest{};
    for (int i = 0; i < 20; ++i) {
        digest[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(h[i / 4] >> (24 - 8 * (i % 4)));
    }
    return digest;
}

std::string Text(const guid& id) {
    char text[37];
    std::snprintf(text, sizeof(text), "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", id.Data1, id.Data2,
                  id.Data3, id.Data4[0], id.Data4[1], id.Data4[2], id.Data4[3], id.Data4[4], id.Data4[5],
                  id.Data4[6], id.Data4[7]);
    return text;
}

// The id of a parameterized interface instance: a version-5 UUID of its signature in the Windows
// Runtime namespace 11f47ad5-7b73-42c0-abae-878b1e16adee.
guid ParameterizedIid(const std::string& signature) {
    const std::uint8_t name_space[16] = {0x11, 0xf4, 0x7a, 0xd5, 0x7b, 0x73, 0x42, 0xc0,
                                         0xab, 0xae, 0x87, 0x8b, 0x1e, 0x16, 0xad, 0xee};
    const auto digest = Sha1(std::string(reinterpret_cast<const char*>(name_space), 16) + signature);
    std::uint8_t b[16];
    std::copy_n(digest.begin(), 16, b);
    b[6] = static_cast<std::uint8_t>((b[6] & 0x0F) | 0x50);
    b[8] = static_cast<std::uint8_t>((b[8] & 0x3F) | 0x80);
    return guid{(static_cast<std::uint32_t>(b[0]) << 24) | (static_cast<std::uint32_t>(b[1]) << 16) |
                    (static_cast<std::uint32_t>(b[2]) << 8) | b[3],
                static_cast<std::uint16_t>((b[4] << 8) | b[5]),
                static_cast<std::uint16_t>((b[6] << 8) | b[7]),
                {b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]}};
}

std::string Braced(const guid& id) {
    return "{" + Text(id) + "}";
}

std::string RuntimeClass(const std::string& name, const guid& default_interface) {
    return "rc(" + name + ";" + Braced(default_interface) + ")";
}

TEST(ParameterizedIids, DeriveFromTheirSignatures) {
    const std::string package = RuntimeClass("Windows.ApplicationModel.Package", iid_of<IPackage>());
    const std::string user = RuntimeClass("Windows.Management.Deployment.PackageUserInformation",
                                          iid_of<IPackageUserInformation>());
    const std::string result =
        RuntimeClass("Windows.Management.Deployment.DeploymentResult", iid_of<IDeploymentResult>());
    const std::string progress =
        "struct(Windows.Management.Deployment.DeploymentProgress;"
        "enum(Windows.Management.Deployment.DeploymentProgressState;i4);u4)";
    const auto instance = [](const guid& generic, const std::string& arguments) {
        return ParameterizedIid("pinterface(" + Braced(generic) + ";" + arguments + ")");
    };

    // The derivation itself, on the control pair from the platform's headers.
    EXPECT_EQ(Text(instance(generic_iids::kIIterable, "string")), "e2fcc7c1-3bfc-5a0b-b2b0-72e769d1cb7e");
    EXPECT_EQ(Text(instance(generic_iids::kIIterator, "string")), "8c304ebb-6615-50a4-8829-879ecd443236");

    struct Case {
        const char* name;
        guid declared;
        guid derived;
        const char* published;
    };
    const Case cases[] = {
        {"IIterable<Package>", iid_of<IIterable<IPackage>>(), instance(generic_iids::kIIterable, package),
         "69ad6aa7-0c49-5f27-a5eb-ef4d59467b6d"},
        {"IIterator<Package>", iid_of<IIterator<IPackage>>(), instance(generic_iids::kIIterator, package),
         "0217f069-025c-5ee6-a87f-e782e3b623ae"},
        {"IIterable<PackageUserInformation>", iid_of<IIterable<IPackageUserInformation>>(),
         instance(generic_iids::kIIterable, user), "341348b9-52c8-5b57-9e91-f19f2a05b188"},
        {"IIterator<PackageUserInformation>", iid_of<IIterator<IPackageUserInformation>>(),
         instance(generic_iids::kIIterator, user), "75660566-ae43-5858-ada6-d57ddae90277"},
        {"IAsyncOperationWithProgress<DeploymentResult, DeploymentProgress>", iid_of<IDeploymentOperation>(),
         instance(generic_iids::kIAsyncOperationWithProgress, result + ";" + progress),
         "5a97aab7-b6ea-55ac-a5dc-d5b164d94e94"},
        {"AsyncOperationWithProgressCompletedHandler<DeploymentResult, DeploymentProgress>",
         iid_of<IDeploymentCompletedHandler>(),
         instance(generic_iids::kAsyncOperationWithProgressCompletedHandler, result + ";" + progress),
         "6e1c7129-61e0-5d88-9fd4-f3ce65a05719"},
        {"AsyncOperationProgressHandler<DeploymentResult, DeploymentProgress>",
         iid_of<IDeploymentProgressHandler>(),
         instance(make_guid("55690902-0aab-421a-8778-f8ce5026d758"), result + ";" + progress),
         "f1b926d1-1796-597a-9bea-6c6449d03eef"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Text(c.derived), c.published) << c.name;
        EXPECT_EQ(Text(c.declared), c.published) << c.name;
    }
}

TEST(InterfaceIds, MatchThePublishedTable) {
    const std::pair<guid, const char*> cases[] = {
        {iid_of<IPackageManager>(), "9a7d4b65-5e8f-4fc7-a2e5-7f6925cb8b53"},
        {iid_of<IPackageManager2>(), "f7aad08d-0840-46f2-b5d8-cad47693a095"},
        {iid_of<IPackageManager8>(), "b8575330-1298-4ee2-80ee-7f659c5d2782"},
        {iid_of<IDeploymentResult>(), "2563b9ae-b77d-4c1f-8a7b-20e6ad515ef3"},
        {iid_of<IPackageUserInformation>(), "f6383423-fa09-4cbc-9055-15ca275e2e7e"},
        {iid_of<IPackage>(), "163c792f-bd75-413c-bf23-b1fe7b95d825"},
        {iid_of<IPackage2>(), "a6612fb6-7688-4ace-95fb-359538e7aa01"},
        {iid_of<IPackage8>(), "2c584f7b-ce2a-4be6-a093-77cfbb2a7ea1"},
        {iid_of<IPackageId>(), "1adb665e-37c7-4790-9980-dd7ae74e8bb2"},
        {iid_of<IInspectable>(), "af86e2e0-b12d-4c6a-9c5a-d7aa65101e90"},
        {iid_of<IAsyncInfo>(), "00000036-0000-0000-c000-000000000046"},
        {iid_of<IActivationFactory>(), "00000035-0000-0000-c000-000000000046"},
        {iid_of<IAgileObject>(), "94ea2b94-e9cc-49e0-c0ff-ee64ca8f5b90"},
        {iid_of<IRestrictedErrorInfo>(), "82ba7092-4c88-427d-a7bc-16dd93feb67e"},
        {iid_of<IMarshal>(), "00000003-0000-0000-c000-000000000046"},
        {iid_of<IUnknown>(), "00000000-0000-0000-c000-000000000046"},
        {generic_iids::kIIterable, "faa585ea-6214-4217-afda-7f46de5869b3"},
        {generic_iids::kIIterator, "6a79e863-4300-459a-9966-cbb660963ee1"},
        {generic_iids::kIAsyncOperationWithProgress, "b5d036d7-e297-498f-ba60-0289e76e23dd"},
        {generic_iids::kAsyncOperationWithProgressCompletedHandler, "e85df41d-6aa7-46e3-a8e2-f009d840c627"},
    };
    for (const auto& [declared, published] : cases) {
        EXPECT_EQ(Text(declared), published);
    }
}

// --- slot positions -----------------------------------------------------------------------------

#define EXPECT_SLOT(Vtbl, Method, slot)                                                \
    static_assert(offsetof(Vtbl, Method) == (slot) * sizeof(void*), #Vtbl "::" #Method \
                                                                          " is not "   \
                                                                          "slot " #slot)

EXPECT_SLOT(IUnknownVtbl, QueryInterface, 0);
EXPECT_SLOT(IUnknownVtbl, Release, 2);
EXPECT_SLOT(IInspectableVtbl, GetIids, 3);
EXPECT_SLOT(IInspectableVtbl, GetTrustLevel, 5);
EXPECT_SLOT(IActivationFactoryVtbl, ActivateInstance, 6);
EXPECT_SLOT(IPackageManagerVtbl, AddPackageAsync, 6);
EXPECT_SLOT(IPackageManagerVtbl, FindUsers, 15);
EXPECT_SLOT(IPackageManagerVtbl, FindPackagesByPackageFamilyName, 19);
EXPECT_SLOT(IPackageManagerVtbl, FindPackagesByUserSecurityIdPackageFamilyName, 20);
EXPECT_SLOT(IPackageManagerVtbl, FindPackageByUserSecurityIdPackageFullName, 21);
EXPECT_SLOT(IPackageManager2Vtbl, RemovePackageWithOptionsAsync, 6);
EXPECT_SLOT(IPackageManager2Vtbl, StageUserDataAsync, 15);
EXPECT_SLOT(IPackageManager8Vtbl, DeprovisionPackageForAllUsersAsync, 6);
EXPECT_SLOT(IDeploymentResultVtbl, get_ErrorText, 6);
EXPECT_SLOT(IDeploymentResultVtbl, get_ActivityId, 7);
EXPECT_SLOT(IDeploymentResultVtbl, get_ExtendedErrorCode, 8);
EXPECT_SLOT(IPackageUserInformationVtbl, get_UserSecurityId, 6);
EXPECT_SLOT(IPackageUserInformationVtbl, get_InstallState, 7);
EXPECT_SLOT(IPackageVtbl, get_Id, 6);
EXPECT_SLOT(IPackageVtbl, get_IsFramework, 8);
EXPECT_SLOT(IPackage2Vtbl, get_DisplayName, 6);
EXPECT_SLOT(IPackage2Vtbl, get_IsDevelopmentMode, 12);
EXPECT_SLOT(IPackage8Vtbl, get_InstalledPath, 9);
EXPECT_SLOT(IPackage8Vtbl, get_EffectiveExternalPath, 12);
EXPECT_SLOT(IPackage8Vtbl, get_IsStub, 17);
EXPECT_SLOT(IPackageIdVtbl, get_Name, 6);
EXPECT_SLOT(IPackageIdVtbl, get_Version, 7);
EXPECT_SLOT(IPackageIdVtbl, get_FullName, 12);
EXPECT_SLOT(IPackageIdVtbl, get_FamilyName, 13);
EXPECT_SLOT(IAsyncInfoVtbl, get_Status, 7);
EXPECT_SLOT(IAsyncInfoVtbl, Close, 10);
EXPECT_SLOT(IDeploymentOperationVtbl, put_Completed, 8);
EXPECT_SLOT(IDeploymentOperationVtbl, GetResults, 10);
EXPECT_SLOT(IDeploymentCompletedHandlerVtbl, Invoke, 3);
EXPECT_SLOT(IIterableVtbl<IPackage>, First, 6);
EXPECT_SLOT(IIteratorVtbl<IPackage>, get_Current, 6);
EXPECT_SLOT(IIteratorVtbl<IPackage>, get_HasCurrent, 7);
EXPECT_SLOT(IIteratorVtbl<IPackage>, MoveNext, 8);
EXPECT_SLOT(IIteratorVtbl<IPackage>, GetMany, 9);
EXPECT_SLOT(IRestrictedErrorInfoVtbl, GetErrorDetails, 3);
static_assert(sizeof(IPackageManagerVtbl) == 22 * sizeof(void*));
static_assert(sizeof(IPackageManager2Vtbl) == 16 * sizeof(void*));
static_assert(sizeof(IPackage8Vtbl) == 18 * sizeof(void*));
static_assert(sizeof(boolean) == 1 && sizeof(AsyncStatus) == 4 && sizeof(RemovalOptions) == 4);

}  // namespace
}  // namespace halvern::abi
