// Resource and window ids of Pullwire.dll.
#pragma once

// The type library is found by LoadTypeLib(Ex) as type-library resource 1 of the module.
#define IDR_PULLWIRE_TYPELIB 1

// The child id of the component's hidden window.
#define IDW_PULLWIRE_HIDDEN 1001
