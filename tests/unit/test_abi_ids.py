"""The interface ids declared in src/platform/abi, against the platform's published ids (a parameterized one's
is the version-5 UUID of its signature, as the platform's headers give it): a wrong id compiles, works against
the test package manager (built from the same declarations) and fails on Windows."""

import re
import unittest
from pathlib import Path

ABI = Path(__file__).resolve().parents[2] / "src" / "platform" / "abi"
PUBLISHED = {
    "IPackageManager": "9a7d4b65-5e8f-4fc7-a2e5-7f6925cb8b53", "IPackageManager2": "f7aad08d-0840-46f2-b5d8-cad47693a095",
    "IPackageManager8": "b8575330-1298-4ee2-80ee-7f659c5d2782", "IDeploymentResult": "2563b9ae-b77d-4c1f-8a7b-20e6ad515ef3",
    "IPackageUserInformation": "f6383423-fa09-4cbc-9055-15ca275e2e7e", "IPackage": "163c792f-bd75-413c-bf23-b1fe7b95d825",
    "IPackage2": "a6612fb6-7688-4ace-95fb-359538e7aa01", "IPackage8": "2c584f7b-ce2a-4be6-a093-77cfbb2a7ea1",
    "IPackageId": "1adb665e-37c7-4790-9980-dd7ae74e8bb2", "IInspectable": "af86e2e0-b12d-4c6a-9c5a-d7aa65101e90",
    "IAsyncInfo": "00000036-0000-0000-c000-000000000046", "IActivationFactory": "00000035-0000-0000-c000-000000000046",
    "IAgileObject": "94ea2b94-e9cc-49e0-c0ff-ee64ca8f5b90", "IRestrictedErrorInfo": "82ba7092-4c88-427d-a7bc-16dd93feb67e",
    "IMarshal": "00000003-0000-0000-c000-000000000046", "IUnknown": "00000000-0000-0000-c000-000000000046",
    "kIIterable": "faa585ea-6214-4217-afda-7f46de5869b3", "kIIterator": "6a79e863-4300-459a-9966-cbb660963ee1",
    "kIAsyncOperationWithProgress": "b5d036d7-e297-498f-ba60-0289e76e23dd",
    "kAsyncOperationWithProgressCompletedHandler": "e85df41d-6aa7-46e3-a8e2-f009d840c627",
    "IIterable<IPackage>": "69ad6aa7-0c49-5f27-a5eb-ef4d59467b6d", "IIterator<IPackage>": "0217f069-025c-5ee6-a87f-e782e3b623ae",
    "IIterable<IPackageUserInformation>": "341348b9-52c8-5b57-9e91-f19f2a05b188",
    "IIterator<IPackageUserInformation>": "75660566-ae43-5858-ada6-d57ddae90277",
    "IDeploymentOperation": "5a97aab7-b6ea-55ac-a5dc-d5b164d94e94",
    "IDeploymentCompletedHandler": "6e1c7129-61e0-5d88-9fd4-f3ce65a05719",
    "IDeploymentProgressHandler": "f1b926d1-1796-597a-9bea-6c6449d03eef",
}


def declared():
    """Every id the headers declare, by interface (or generic constant) name."""
    found = {}
    for header in ABI.glob("*.h"):
        text = header.read_text()
        found.update(re.findall(r'HALVERN_ABI_IID\((\w+(?:<\w+>)?),\s*"([0-9a-f-]{36})"\)', text))
        found.update(re.findall(r'constexpr guid (\w+) =\s*make_guid\("([0-9a-f-]{36})"\)', text))
    return found


class InterfaceIds(unittest.TestCase):
    def test_match_the_published_ids(self):
        ids = declared()
        for name, published in PUBLISHED.items():
            self.assertEqual(ids.get(name), published, name)


if __name__ == "__main__":
    unittest.main()
