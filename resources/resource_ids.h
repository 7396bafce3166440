// Resource identifiers shared by the resource script and the C++ code. Plain ASCII, and only
// preprocessor definitions, so that GNU windres and the Visual Studio compiler both read it.
#ifndef KELVANE2_RESOURCE_IDS_H
#define KELVANE2_RESOURCE_IDS_H

// Icon group: the application and tray icon (16, 32, 48, 64 and 128 px; see scripts/make_icon.py).
#define IDI_KELVANE2 101

#endif
