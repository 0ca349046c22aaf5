#!/usr/bin/env python3
"""Reads the icon, the version information and the manifest back from the built
exe, and checks that the version the user agent sends is the one the file shows.

Usage: check_resources.py <exe> <version, e.g. 0.1.0>"""

import struct
import sys
import xml.etree.ElementTree as ElementTree

import pe

ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
DPI_2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
DPI_2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"
WINDOWS_10_AND_11 = "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"
CREATEPROCESS_MANIFEST_RESOURCE_ID = 1
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2
VFT_APP = 1
US_ENGLISH_UNICODE = (0x0409, 1200)

failures = []


def check(condition, what):
    print(("ok      " if condition else "FAILED  ") + what)
    if not condition:
        failures.append(what)


def check_manifest(image):
    manifests = [key for key in image.resources() if key[0] == pe.RT_MANIFEST]
    check([key[1] for key in manifests] == [CREATEPROCESS_MANIFEST_RESOURCE_ID],
          "one manifest, as resource 1 (the one the loader applies to an exe): %s" % manifests)
    text = image.resource(pe.RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID)
    if text is None:
        return
    root = ElementTree.fromstring(text)
    levels = [(element.get("level"), element.get("uiAccess"))
              for element in root.iter(ASM_V3 + "requestedExecutionLevel")]
    check(levels == [("asInvoker", "false")], "requestedExecutionLevel asInvoker without uiAccess: %s" % levels)

    controls = [element.attrib for element in root.iter(ASM_V1 + "assemblyIdentity")
                if element.get("name") == "Microsoft.Windows.Common-Controls"]
    check(len(controls) == 1 and controls[0].get("version") == "6.0.0.0"
          and controls[0].get("publicKeyToken") == "6595b64144ccf1df"
          and controls[0].get("type") == "win32",
          "depends on Common Controls 6.0.0.0: %s" % controls)

    systems = [element.get("Id") for element in root.iter(COMPATIBILITY + "supportedOS")]
    check(WINDOWS_10_AND_11 in systems, "supportedOS names Windows 10 and 11: %s" % systems)

    awareness = [element.text for element in root.iter(DPI_2016 + "dpiAwareness")]
    check(awareness and awareness[0].split(",")[0].strip() == "PerMonitorV2",
          "dpiAwareness PerMonitorV2 first: %s" % awareness)
    fallback = [element.text for element in root.iter(DPI_2005 + "dpiAware")]
    check(fallback == ["true/pm"], "dpiAware fallback true/pm: %s" % fallback)


def check_version(image, version):
    block = image.resource(pe.RT_VERSION)
    check(block is not None, "has a version resource")
    if block is None:
        return
    fixed, strings = pe.read_version_info(block)
    numbers = tuple(int(part) for part in version.split(".")) + (0,)
    check(fixed.get("file_version") == numbers, "file version %s" % (fixed.get("file_version"),))
    check(fixed.get("product_version") == numbers, "product version %s" % (fixed.get("product_version"),))
    check(fixed.get("file_type") == VFT_APP, "file type is an application")
    check(fixed.get("file_flags") == 0, "no debug, pre-release or patched flag")
    check(US_ENGLISH_UNICODE in fixed["translations"], "translation US English, Unicode: %s" % fixed["translations"])
    expected = {
        "ProductName": "Pelorin setup",
        "FileVersion": version,
        "ProductVersion": version,
        "OriginalFilename": "quarnet-setup.exe",
    }
    for name, value in expected.items():
        check(strings.get(name) == value, "%s is %r: %r" % (name, value, strings.get(name)))
    check(bool(strings.get("FileDescription")), "FileDescription: %r" % strings.get("FileDescription"))


def check_icon(image):
    resources = image.resources()
    groups = sorted((key for key in resources if key[0] == pe.RT_GROUP_ICON), key=str)
    check(bool(groups), "has an icon group")
    if not groups:
        return
    icons = pe.read_icon_group(resources[groups[0]])
    sizes = sorted({width for width, height, _, _ in icons if width == height})
    check({16, 32} <= set(sizes), "icon has the 16 and 32 pixel sizes Explorer needs: %s" % sizes)
    by_id = {key[1]: value for key, value in resources.items() if key[0] == pe.RT_ICON}
    for width, height, _, icon_id in icons:
        image_data = by_id.get(icon_id)
        if image_data is None:
            check(False, "icon %d exists" % icon_id)
            continue
        if image_data[:8] == b"\x89PNG\r\n\x1a\n":
            actual = struct.unpack_from(">II", image_data, 16)
        else:
            # BITMAPINFOHEADER: the height counts the colour and the mask rows together.
            header_size, bitmap_width, bitmap_height = struct.unpack_from("<Iii", image_data, 0)
            actual = (bitmap_width, bitmap_height // 2) if header_size == 40 else None
        check(actual == (width, height), "icon %d is %dx%d: %s" % (icon_id, width, height, actual))


def check_user_agent(image, version):
    agent = "Quarnet-Setup/" + version
    found = agent.encode("ascii") in image.data or agent.encode("utf-16-le") in image.data
    check(found, "the exe sends the user agent %s, the version its resources show" % agent)


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    with open(sys.argv[1], "rb") as file:
        image = pe.PeFile(file.read())
    check(image.subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI, "GUI subsystem (no console window)")
    check_manifest(image)
    check_version(image, sys.argv[2])
    check_icon(image)
    check_user_agent(image, sys.argv[2])
    print("%d checks failed" % len(failures) if failures else "all resource checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
