#!/usr/bin/env bash
# The demo: what is registered, the example scene, then every plug-in at work on it.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
VLMHOST="$BUILD/bin/vlmhost"
# The exporters' date line follows SOURCE_DATE_EPOCH, so the demo's files are reproducible.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-1781305028}
# Every run is a first run (--fresh): the demo neither reads nor changes the settings
# remembered in VLM_HOME, so it shows the same each time.
mkdir -p out

echo "== registered classes"
"$VLMHOST" list
echo
echo "== the example scene"
"$VLMHOST" show examples/hangar.json
echo
echo "== mirror Hangar/Wing in X"
"$VLMHOST" run --fresh VLMPlugin9.Obverse examples/hangar.json --select group:Hangar/Wing \
  --ui 'input X' -o out/hangar-mirrored.json
"$VLMHOST" show out/hangar-mirrored.json
echo
echo "== a moulding round the roof of Hangar/Shell"
"$VLMHOST" run --fresh VLMPlugin9.Ridgepull examples/hangar.json --select faces:Hangar/Shell:2 \
  --ui 'txt(0)=0.3; txt(1)=0.2; chkInside=1; click OKButton' -o out/hangar-moulding.json
echo
echo "== ten steps 3 m high, with the dialog's preview saved"
"$VLMHOST" run --fresh VLMPlugin9.Stairwright examples/hangar.json \
  --ui 'txt(0)=3; txt(5)=10; click OKButton' --save-pictures out/pictures -o out/hangar-steps.json
echo
echo "== shrink the wing spar by 5 cm"
"$VLMHOST" run --fresh VLMPlugin9.Shrink examples/hangar.json --select object:Hangar/Wing/Spar \
  --ui 'txt(0)=0.05; click OKButton' -o out/hangar-shrunk.json
echo
echo "== flare the example tile: five steps up, the sides curving outward"
"$VLMHOST" run --fresh VLMOperation9.Flare examples/tile.json --select polygons:Tile/Face:0 \
  --param Extrude=1 --param Bevel=0.5 --param Step=5 --param Scale=1 -o out/tile-flared.json
"$VLMHOST" show out/tile-flared.json
echo
echo "== export the hangar as X-Plane OBJ8 (one file per texture set), its textures beside it"
"$VLMHOST" run --fresh VLMPluginImportExport9.Wingform examples/hangar.json --select group:Hangar \
  --copy-textures -o out/hangar.obj
echo
echo "== the same with automatic levels of detail, visible up to 3000 m"
"$VLMHOST" run --fresh VLMPluginImportExport9.Wingform examples/hangar.json --select group:Hangar \
  --ui 'optLOD(1)=1; txtDist=3000; click cmdOK; click cmdCancel' -o out/hangar-lod.obj
echo
echo "== export the hangar as a rail-sim IGS file (its textures in out/hangar/, the folder its"
echo "   materials' texturepath names), then with automatic levels of detail"
"$VLMHOST" run --fresh VLMPluginImportExport9.Trackline examples/hangar.json --select group:Hangar \
  --copy-textures -o out/hangar.igs
"$VLMHOST" run --fresh VLMPluginImportExport9.Trackline examples/hangar.json --select group:Hangar \
  --ui 'optLOD(1)=1; click cmdOK; click cmdCancel' -o out/hangar-lods.igs
echo
echo "== FS10 material of the spar: bloom by copying"
"$VLMHOST" run --fresh VLMPlugin9.Glazier examples/hangar.json --select object:Hangar/Wing/Spar \
  --ui 'tbsOptions=Bloom; chkBloom(1)=1; click cmdOK' -o out/glazed.json
"$VLMHOST" show out/glazed.json
echo
echo "== attach a beacon effect and a platform to the roof of Hangar/Shell"
"$VLMHOST" run --fresh VLMPlugin9.Tether examples/hangar.json --select faces:Hangar/Shell:2 \
  --ui 'txtName=beacon; chk(0)=1; lstEffect=fx_beacon_red.fx; sldDist=150; chk(4)=1; lstPlatform=CONCRETE; click OKButton' \
  -o out/hangar-tether.json
echo
echo "== name Hangar/Wing for the flap animation, with its visibility tag"
"$VLMHOST" run --fresh VLMPlugin9.Motive out/hangar-tether.json --select node:Hangar/Wing \
  --ui 'cmbAnim=flap; txtName=left; click OKButton' -o out/hangar-motive.json
"$VLMHOST" show out/hangar-motive.json
echo
echo "== twelve real models (Assimp's test models) made ready for the simulators by one job file:"
echo "   textured, short plain names, upright, centred and on the ground, simplified levels of"
echo "   detail, then exported as OBJ8 and IGS with those levels (out/models/)"
"$VLMHOST" batch examples/prepare-models.json --quiet
"$VLMHOST" inspect out/models/AC14-FZK-Haus/AC14-FZK-Haus.obj | grep -E '^ *(level|LOD)' || true
