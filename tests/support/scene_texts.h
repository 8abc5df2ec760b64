// Scene files written inline in the tests: SCENE(members) is the text of a scene file whose
// format and version members come before `members` (string literals, joined as written).
#pragma once

#define SCENE(members) "{\"format\": \"vellum-scene\", \"version\": 1, " members "}"
