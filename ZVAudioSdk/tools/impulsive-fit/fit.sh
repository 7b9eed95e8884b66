#!/bin/sh
# Refits the impulsive classes' trees (GlassBreak, GunShot, DogBark) and
# writes them into share/model.json. Run from the project root after a build
# that has zv_soundgen; takes a few minutes.
#
#   ZVAudioSdk/tools/impulsive-fit/fit.sh BUILD_DIR [WORK_DIR]
#
# The generated sets and traces go to WORK_DIR (BUILD_DIR/impulsive-fit by
# default); sets already there are reused.
#
# Material: the generator's tune split of seeds 1, 2 and 3 (all classes and
# negatives), the impulsive classes and Aggression of seeds 4 and 5, and the
# negatives of seeds 4 to 7; every clip is also played from its event's start
# ("crop", see DescriptorTrace.cpp), so streams that open on the sound are
# fitted too. The holdout split of seed 1 stays unseen for the check (make
# eval). GlassBreak is traced with its own onsets (2 dB of flux, the
# waveform's jump allowed a hop early), the other two with GunShot's.
# GlassBreak's first 80 trees are from a fit on onsets from 3 dB of flux;
# the 40 after them were boosted on top ("GLASSBREAK=refine fit.sh") once its
# onsets came from 2 dB, on this material plus glass, shouts and negatives
# of seeds 8-11 and shouts and negatives of seeds 12-15: the fainter onsets
# open observations on every syllable of speech, which the earlier trees
# had not seen. The log-odds shifts in fit_trees.py (CALIBRATION) were
# chosen on a fit over seeds 1, 2, 4 checked on seed 3, 5 and 7. The
# classes' gates (Admits in the detectors) are mirrored by admits() in
# fit_trees.py with the bounds of CALIBRATION; change both together.
# GunShot's first 80 trees are kept from the fit over seeds 1-3 without the
# crops: refitted on this material they learned that a shot carries little
# low energy (the generator's shots do) and lost real recordings' low, heavy
# shots; fit it with "GUNSHOT=1 fit.sh" to try again. The 20 after them
# were boosted on top of those ("GUNSHOT=refine fit.sh") without the shares
# of low, middle and high energy, so that the snares, latches and shutters
# among the negatives are learnt from their falls, flatness and ringing
# rather than from "much low energy is no shot".
#
# With EVERYDAY=refine it boosts 10 GunShot and 20 DogBark trees on top of
# their first 100 and 120 against the generator's everyday impulsive sound
# (drum kits, doors opening, hand drums, effects cut out of silence) and
# appends them to the blocks in place; see that branch below. A run of the
# modes above rewrites the blocks without them.
#
# With GLASSBREAK=veto it fits GlassBreak's "veto" trees (20 rounds) on the
# observations its trees read at 0.3 or more (VETO_FROM in fit_trees.py) and
# writes them into the block in place; see that branch below. The "blocks"
# step of a full refit rewrites the block without them: run this after it.
#
# With GUNSHOT=veto it fits GunShot's "veto" trees on how far an onset
# stands above those of the 3 s before (see that branch below) and writes
# them into the block in place, as GLASSBREAK=veto does.
#
# With DOGBARK=voice it fits the trees of DogBark's "voiceOnset" (the
# observations opened where the voice's bands rise out of a steady floor)
# and writes the sub-block into the block in place; see that branch below.
#
# With SHOTGUN=refine it boosts 30 GunShot trees on top of its first 110 so
# that shotguns and heavy machine guns (a long, heavy low blast) are heard;
# see that branch below. Appended in place, as EVERYDAY=refine. Not applied
# to the shipped model.json: it cost more false alarms (doors) than allowed
# (NOTES-impulsive.md, 9 December).
#
# With GUNSHOT=kits it boosts ROUNDS GunShot trees on top of its 110 against
# drum kits and balloon pops (hard negatives, counted WEIGHT times), trees
# that can only lower the odds; see that branch below. Appended in place,
# as EVERYDAY=refine. Not applied to the shipped model.json: the kits fell,
# and so did shots at +10 and +20 dB (NOTES-impulsive.md, 11 December).
#
# With GUNSHOT=whole it fits GunShot's trees anew (ROUNDS, 150 by default)
# on today's generator's shots and look-alikes and writes them, with the
# shift SHIFT (-12 by default), over the block's own trees in place; see
# that branch below. Not applied to the shipped model.json: it heard many
# more heavy guns and shotguns but let in new look-alikes (thunder in a
# room, a drum kit with music, knocks, a shutter, a door opening cut out of
# silence) on sets not fitted on, and on the real recordings it lost two
# shots and took four more everyday sounds for shots (NOTES-impulsive.md,
# 11 December).
#
# With DOGBARK=fox it boosts DogBark trees on top of its first 140 against
# the generator's foxes, with the negatives cropped as well as the barks;
# see that branch below. Appended in place, as EVERYDAY=refine. Not applied
# to the shipped model.json: it cost a 0 dB bark on the holdout of seed 1
# and left the foxes among the fresh negatives as they were
# (NOTES-impulsive.md, 9 December).
#
# With DOGBARK=clean it boosts 3 DogBark trees on top of its 140 so that
# barks cut out of digital silence (or over a faint floor) are heard; see
# that branch below. Appended in place, as EVERYDAY=refine.
#
# With NARROWBAND=1 it fits instead the classes' "narrowband" sub-blocks (the
# trees a stream sampled below 12 kHz reads) on 8000 Hz material: tune splits
# of seeds 1-3, 5 and 6 and the impulsive classes and negatives of seeds 7
# and 8, all generated at 8000 Hz; seed 4 was kept apart to choose the
# shifts. The wideband blocks are left as they are.
set -eu
build=$1
here=$(dirname "$0")
src=ZVAudioSdk/src
work=${2:-$build/impulsive-fit}
mkdir -p "$work"
gen=$(find "$build" -type f -name zv_soundgen -perm -u+x | head -n 1)
memory=$(find "$build" -name libzv_memory.so | head -n 1)

# The tune split of one seed, generated into $work/NAME unless it is there:
# tune_set NAME SEED [CLASSES [more generator options]] (no CLASSES: all).
tune_set() {
  local name=$1 seed=$2 classes=${3:-}
  shift 2
  [ $# -gt 0 ] && shift
  [ -f "$work/$name/manifest.csv" ] && return 0
  if [ -n "$classes" ]; then
    "$gen" --out "$work/$name" --seed "$seed" --classes "$classes" --split tune "$@"
  else
    "$gen" --out "$work/$name" --seed "$seed" --split tune "$@"
  fi
}

# trace SET CLASS PREFIX MODEL: CLASS's descriptors over the tune split of
# $work/SET (clips and crops) with the data file MODEL, written to
# $work/PREFIX-SET.txt; prints that file's name.
trace() {
  "$work/DescriptorTrace" "$work/$1" tune "$4" crop "$2" 2> "$work/$3-$1.txt"
  echo "$work/$3-$1.txt"
}

# tune_sets PREFIX CLASSES SEED...: tune_set PREFIX<SEED> for each seed, each
# name appended to $sets (the modes below gather their material this way).
tune_sets() {
  local prefix=$1 classes=$2 seed
  shift 2
  for seed in "$@"; do
    tune_set "$prefix$seed" "$seed" "$classes"
    sets="$sets $prefix$seed"
  done
}

# traces_of CLASS PREFIX MODEL: trace every set of $sets; prints the files.
traces_of() {
  local set
  for set in $sets; do
    printf ' %s' "$(trace "$set" "$1" "$2" "$3")"
  done
}

# first_trees CLASS N: the bias and first N trees of CLASS's block in the
# shipped data file, written to $work/CLASS-base.json (what a refinement
# boosts on top of).
first_trees() {
  python3 -c 'import json, sys; b = json.load(open(sys.argv[1]))["detectors"][sys.argv[2]]; json.dump({"bias": b["bias"], "trees": b["trees"][:int(sys.argv[3])]}, sys.stdout)' \
    ZVAudioSdk/share/model.json "$1" "$2" > "$work/$1-base.json"
}

# The trace tool: the library's front end and detectors built with the trace.
c++ -O2 -std=c++17 -DZV_IMPULSIVE_TRACE -I$src -IZVAudioSdk/include -IDetectors/ZelvaniAudioAnalytics/src -Imemory/include \
  "$here/DescriptorTrace.cpp" $src/FrontEnd.cpp $src/Classifier.cpp $src/detectors/*.cpp \
  "$memory" -lfftw3f -lsndfile -Wl,-rpath,"$(dirname "$memory")" -o "$work/DescriptorTrace"

if [ "${NARROWBAND:-0}" = 1 ]; then
  for seed in 1 2 3 5 6; do
    tune_set nb$seed $seed "" --rate 8000
  done
  for seed in 7 8; do
    tune_set nb$seed $seed GunShot,GlassBreak,DogBark,negative --rate 8000
  done
  for set in nb1 nb2 nb3 nb5 nb6 nb7 nb8; do
    "$work/DescriptorTrace" "$work/$set" tune ZVAudioSdk/share/model.json crop GunShot 2> "$work/shot-$set.txt"
    "$work/DescriptorTrace" "$work/$set" tune ZVAudioSdk/share/model.json crop GlassBreak 2> "$work/glass-$set.txt"
  done
  export NARROW=1
  python3 $here/fit_trees.py fit GlassBreak \
    rise,broad,low,high,top,d2,d5,d12,hd2,prom,flat,harm,voiced,sus,hsus,shards,hlate,inner,onset,mid,dend,vstart,lowrise,lflat,attack,por \
    $work/glass-nb*.txt > "$work/GlassBreak-nb.json"
  python3 $here/fit_trees.py fit GunShot \
    rise,broad,low,high,top,d2,hd2,prom,flat,harm,voiced,onset,hlate,shards,mid,dend,vstart,lowrise,lflat,attack,por \
    $work/shot-nb*.txt > "$work/GunShot-nb.json"
  python3 $here/fit_trees.py fit DogBark \
    rise,broad,low,high,top,d2,d5,d12,hd2,prom,flat,harm,voiced,sus,hsus,shards,hlate,inner,recent,onset,pfall,pitch,mid,dend,vstart,lowrise,lflat,attack,por \
    $work/shot-nb*.txt > "$work/DogBark-nb.json"
  for class in GlassBreak GunShot DogBark; do
    python3 $here/fit_trees.py narrowband ZVAudioSdk/share/model.json $class "$work/$class-nb.json"
  done
  exit 0
fi
if [ "${GLASSBREAK:-0}" = veto ]; then
  # Glass, its look-alikes and everything else of the tune splits of seeds
  # 10-15, and the negatives of seeds 20-25 (drum kits with their crashes
  # among them); seeds 16-19 and 26-27 were kept apart to choose the rounds
  # (10, 20, 30; 20 the fewest that left the most crashes out at equal
  # recall), the holdout of seed 1 for the check.
  sets=""
  tune_sets gn GlassBreak,negative 10 11 12 13 14 15
  tune_sets neg negative 20 21 22 23 24 25
  traces=$(traces_of GlassBreak glass ZVAudioSdk/share/model.json)
  python3 $here/fit_trees.py veto ZVAudioSdk/share/model.json GlassBreak 20 \
    rise,broad,low,high,top,d2,d5,d12,hd2,prom,flat,harm,voiced,sus,hsus,shards,hlate,inner,onset,mid,dend,vstart,lowrise,lflat,attack,por,jumps,reshape,drift \
    $traces > "$work/GlassBreak-veto.json"
  python3 $here/fit_trees.py setveto ZVAudioSdk/share/model.json GlassBreak "$work/GlassBreak-veto.json"
  exit 0
fi
if [ "${GUNSHOT:-0}" = veto ]; then
  # GunShot's "veto" (10 rounds) on the loudness of an onset over those of
  # the 3 s before it (orec): drum hits are many alike, a shot stands out.
  # Shots, glass, barks and negatives of the tune splits of seeds 2-9; the
  # later shots of a burst (more than 0.15 s into the event) are left out,
  # since they are alike and follow each other as drum hits do and the
  # burst is heard from its first. Only orec is offered: with the timing of
  # the onsets around (recent, gap, inner) or the shot's own rise, breadth
  # and attack the first 10 rounds were the same, 20 rounds cost 0 dB shots
  # on seeds 16-19 (kept apart to choose), and the acoustic descriptors are
  # where generated and recorded shots differ (see the notes).
  sets=""
  tune_sets gdn GunShot,GlassBreak,DogBark,negative 2 3 4 5 6 7 8 9
  traces=$(traces_of GunShot shot ZVAudioSdk/share/model.json)
  python3 $here/fit_trees.py veto ZVAudioSdk/share/model.json GunShot 10 orec --first 0.15 $traces > "$work/GunShot-veto.json"
  python3 $here/fit_trees.py setveto ZVAudioSdk/share/model.json GunShot "$work/GunShot-veto.json"
  exit 0
fi
if [ "${DOGBARK:-0}" = voice ]; then
  # 40 trees boosted on top of DogBark's on the observations its voice bands'
  # rule alone opens (the rest read as without the rule, so only these are
  # fitted): the GunShot, GlassBreak, DogBark and negatives of tune seeds 2-7,
  # DogBark, GunShot, Aggression and negatives of seeds 10-13 (the shouts
  # among them; without, the trees took shouts for barks) and negatives of
  # seeds 20-25. Seeds 8, 9, 14 and 15 were kept apart to choose the shift
  # (VOICE in fit_trees.py), 16-19 and 26-27 for the check. Traced with the
  # rule's bounds from VOICE whatever the block holds.
  sets=""
  tune_sets gdn GunShot,GlassBreak,DogBark,negative 2 3 4 5 6 7
  tune_sets dgan DogBark,GunShot,Aggression,negative 10 11 12 13
  tune_sets neg negative 20 21 22 23 24 25
  python3 -c 'import json, sys
sys.path.insert(0, sys.argv[3]); import fit_trees
m = json.load(open(sys.argv[1])); v = fit_trees.VOICE["DogBark"]
m["detectors"]["DogBark"]["voiceOnset"] = {"minBandsDb": v["minBandsDb"], "minFluxDb": v["minFluxDb"], "bias": 0.0, "trees": []}
json.dump(m, open(sys.argv[2], "w"))' ZVAudioSdk/share/model.json "$work/voice-model.json" "$here"
  files=$(traces_of DogBark dog "$work/voice-model.json")
  python3 $here/fit_trees.py voice ZVAudioSdk/share/model.json DogBark 40 \
    rise,broad,low,high,top,d2,d5,d12,hd2,prom,flat,harm,voiced,sus,hsus,shards,hlate,inner,recent,onset,pfall,pitch,mid,dend,vstart,lowrise,lflat,attack,por \
    $files > "$work/DogBark-voice.json"
  python3 $here/fit_trees.py setvoice ZVAudioSdk/share/model.json DogBark "$work/DogBark-voice.json"
  exit 0
fi
if [ "${SHOTGUN:-0}" = refine ]; then
  # Shots, glass, barks and negatives of the tune splits of seeds 2-7, the
  # negatives of seeds 40-55 and the shots of seeds 50-53, all generated
  # with the heavy guns (a work folder of sets made before them must be
  # emptied first); seeds 8-13 were kept apart to choose the rounds (20,
  # 30 the same false alarms, 30 two heavy guns more; 50 one false alarm
  # more), 16-19 for the check. The earlier trees read a shotgun's blast as
  # voiced, sustained and low, which no lighter shot is, and rule it out;
  # each new tree's first split is "low share above 0.5" (--above), so the
  # new trees change nothing for the lighter shots and their look-alikes
  # (balloons, claps, latches) and weigh heavy low sounds only: shotguns
  # against doors, drops, thunder, engines and drum kits.
  sets=""
  tune_sets gdn GunShot,GlassBreak,DogBark,negative 2 3 4 5 6 7
  tune_sets neg negative $(seq 40 55)
  tune_sets gs GunShot 50 51 52 53
  shots=$(traces_of GunShot shot ZVAudioSdk/share/model.json)
  first_trees GunShot 110
  python3 $here/fit_trees.py refine "$work/GunShot-base.json" 30 GunShot \
    rise,broad,low,mid,high,top,d2,d5,d12,hd2,prom,flat,harm,voiced,sus,onset,hlate,shards,dend,vstart,lowrise,lflat,attack,por \
    --above low 0.5 $shots > "$work/GunShot.json"
  python3 "$here/fit_trees.py" append ZVAudioSdk/share/model.json GunShot "$work/GunShot.json"
  exit 0
fi
if [ "${DOGBARK:-0}" = clean ]; then
  # Barks that end in digital silence read a fall to the observation's end
  # at its 40 dB clamp, which the earlier trees had seen only on effects cut
  # out of silence (coughs, knocks, foxes, geese) and weigh against a bark.
  # Three trees whose first split is "dend > 39" (only observations that end
  # in silence move) on barks and their look-alikes cut out of silence with
  # cut_positives.py (seeds 1400-1414: at 0, 0.05 and 0.2 s over silence,
  # at 0.2 s over white floors of 3 and 30), the look-alikes counted three
  # times (once: the cut foxes and coughs rose with the barks), the
  # negatives of seeds 1440-1442 and the tune split of seed 1400. Seeds
  # 1435-1439 were kept apart to choose the rounds and the weight, 1415-1424
  # and 1443-1446 for the check, 1425-1434 and 1447-1449 fresh.
  cut() {  # cut NAME KINDS SEEDS OFFSETS FLOOR
    [ -f "$work/$1/manifest.csv" ] || KINDS=$2 python3 $here/cut_positives.py "$gen" "$work/$1" "$3" "$4" "$5" > /dev/null
  }
  s10=1400,1401,1402,1403,1404,1405,1406,1407,1408,1409
  s5=1410,1411,1412,1413,1414
  barks=DogBark/large,DogBark/small
  alike=negative/cough,negative/knocks,negative/fox,negative/goose,negative/sea_lion,negative/hand_claps,negative/door_slam
  alike=$alike,negative/door_opening,negative/door_latch,negative/hand_drums,negative/speech,negative/child_speech
  alike=$alike,negative/laughter,negative/cat,negative/lamb,negative/seagull,negative/punches,negative/footsteps
  cut cbark0 $barks $s10 0,0.05,0.2 0
  cut cbark3 $barks $s10 0.2 3
  cut cbark30 $barks $s10 0.2 30
  cut clarge0 DogBark/large $s5 0,0.05,0.2 0
  cut csmall0 DogBark/small $s5 0,0.2 0
  cut cbark3b $barks $s5 0.2 3
  cut calike0 $alike $s10 0,0.2 0
  cut calike30 $alike $s10 0.2 30
  cut calike0b $alike $s5 0,0.2 0
  cut calike30b $alike $s5 0.2 30
  tune_set neg1440 1440 negative
  tune_set neg1441 1441 negative
  tune_set neg1442 1442 negative
  tune_set imp1400 1400 DogBark,GlassBreak,GunShot,Aggression
  for set in cbark0 cbark3 cbark30 clarge0 csmall0 cbark3b calike0 calike30 calike0b calike30b neg1440 neg1441 neg1442 imp1400; do
    "$work/DescriptorTrace" "$work/$set" tune ZVAudioSdk/share/model.json whole DogBark 2> "$work/clean-$set.txt"
  done
  alikes=""
  for set in calike0 calike30 calike0b calike30b; do
    alikes="$alikes $work/clean-$set.txt"
  done
  first_trees DogBark 140
  python3 $here/fit_trees.py refine "$work/DogBark-base.json" 3 DogBark \
    rise,broad,low,high,top,d2,d5,d12,hd2,prom,flat,harm,voiced,sus,hsus,shards,hlate,inner,recent,onset,pfall,pitch,mid,dend,vstart,lowrise,lflat,attack,por,call,lrise,lrhops,line \
    --above dend 39 $work/clean-cbark0.txt $work/clean-cbark3.txt $work/clean-cbark30.txt $work/clean-clarge0.txt \
    $work/clean-csmall0.txt $work/clean-cbark3b.txt $alikes $alikes $alikes $work/clean-neg1440.txt \
    $work/clean-neg1441.txt $work/clean-neg1442.txt $work/clean-imp1400.txt > "$work/DogBark.json"
  python3 "$here/fit_trees.py" append ZVAudioSdk/share/model.json DogBark "$work/DogBark.json"
  exit 0
fi
if [ "${DOGBARK:-0}" = fox ]; then
  # ROUNDS (20 by default) DogBark trees boosted on top of its first 140 so
  # that the generator's foxes (a tonal call that swells and holds its
  # level, read as a large bark) stay quiet: shots, glass, barks and
  # negatives of the tune splits of seeds 2-9 and the negatives of seeds
  # 60-71, every clip also played cropped, the negatives included (crops of
  # the barks alone cost false alarms). Seeds 10-13, 16-19 were kept apart
  # to choose the rounds (10, 15, 20: only at 20 did no set lose a bark; a
  # block holds at most 160 trees), 40-55 and the holdout of seed 1 for the
  # check.
  sets=""
  tune_sets gdn GunShot,GlassBreak,DogBark,negative 2 3 4 5 6 7 8 9
  tune_sets neg negative $(seq 60 71)
  traces=$(traces_of DogBark dog ZVAudioSdk/share/model.json)
  first_trees DogBark 140
  python3 $here/fit_trees.py refine "$work/DogBark-base.json" "${ROUNDS:-20}" DogBark \
    rise,broad,low,high,top,d2,d5,d12,hd2,prom,flat,harm,voiced,sus,hsus,shards,hlate,inner,recent,onset,pfall,pitch,mid,dend,vstart,lowrise,lflat,attack,por \
    $traces > "$work/DogBark.json"
  python3 "$here/fit_trees.py" append ZVAudioSdk/share/model.json DogBark "$work/DogBark.json"
  exit 0
fi
if [ "${GUNSHOT:-0}" = kits ]; then
  # ROUNDS GunShot trees boosted on top of its 110 against drum kits (alone
  # and with music) and balloon pops, in a room or not: a kit's first loud
  # hits, heard before any beat or louder hit, and a pop in a room pass the
  # veto, the beat and the ring and are read by the trees alone, which had
  # seen few of them. Material: the everyday refinement's (below), the shots
  # and negatives of tune seeds 2450-2453, the negatives of seeds 2454-2469
  # and the three kinds cut out of silence (cut_positives.py, seeds
  # 2450-2459 at 0 and 0.05 s over floors 0, 3 and 30). The kits and pops,
  # whole and cut, are counted WEIGHT times in all (hard negatives). GunShot's
  # other look-alikes cut the same way (seeds 2450-2453) are counted once:
  # without them the new trees took punches and knocks cut out of silence,
  # which nothing else in the material shows, for shots. Even so, trees
  # free to add odds raised the generator's shots and, with them, punches cut
  # out of silence and an engine in a room: the new trees are held to leaves
  # at or below zero (--lower), so they rule out and never rule in.
  cut() {  # cut NAME KINDS SEEDS OFFSETS FLOOR
    [ -f "$work/$1/manifest.csv" ] || KINDS=$2 python3 $here/cut_positives.py "$gen" "$work/$1" "$3" "$4" "$5" > /dev/null
  }
  sets=""
  tune_sets gen "" 2 3
  tune_sets imp GunShot,GlassBreak,DogBark,Aggression 4 5
  tune_sets neg negative 4 5 6 7 8 9
  tune_sets gd GunShot,DogBark,Aggression 11 12 13 14
  tune_sets fit GunShot,negative 2450 2451 2452 2453
  tune_sets fn negative $(seq 2454 2469)
  traces=$(traces_of GunShot shot ZVAudioSdk/share/model.json)
  kinds=negative/drum_kit,negative/drum_kit_music,negative/balloon_pop
  others=negative/door_slam,negative/door_latch,negative/door_opening,negative/hand_claps,negative/hammer
  others=$others,negative/heavy_drop,negative/snare_drum,negative/hand_drums,negative/footsteps,negative/knocks
  others=$others,negative/fireworks_far,negative/punches,negative/thunder
  hard=""
  for floor in 0 3 30; do
    cut fcut$floor $kinds 2450,2451,2452,2453,2454,2455,2456,2457,2458,2459 0,0.05 $floor
    "$work/DescriptorTrace" "$work/fcut$floor" tune ZVAudioSdk/share/model.json whole GunShot 2> "$work/shot-fcut$floor.txt"
    hard="$hard $work/shot-fcut$floor.txt"
    cut fother$floor $others 2450,2451,2452,2453 0,0.05 $floor
    "$work/DescriptorTrace" "$work/fother$floor" tune ZVAudioSdk/share/model.json whole GunShot 2> "$work/shot-fother$floor.txt"
    traces="$traces $work/shot-fother$floor.txt"
  done
  # The whole clips' kits and pops (sub-labels drum_kit, drum_kit_music,
  # balloon_pop, with or without +room), already counted once in $traces.
  awk '/^FILE/ { keep = ($4 ~ /^(drum_kit|balloon_pop)/) } keep' $traces > "$work/shot-kits.txt"
  weighted=""
  i=1
  while [ $i -le "${WEIGHT:-3}" ]; do
    weighted="$weighted $hard"
    [ $i -gt 1 ] && weighted="$weighted $work/shot-kits.txt"
    i=$((i + 1))
  done
  first_trees GunShot 110
  python3 $here/fit_trees.py refine "$work/GunShot-base.json" "${ROUNDS:-20}" GunShot \
    rise,broad,top,d2,hd2,prom,flat,harm,voiced,onset,hlate,shards,dend,vstart,lflat,attack,por,hsus,ring,tail,purity --lower \
    $traces $weighted > "$work/GunShot.json"
  python3 "$here/fit_trees.py" append ZVAudioSdk/share/model.json GunShot "$work/GunShot.json"
  exit 0
fi
if [ "${GUNSHOT:-0}" = whole ]; then
  # The whole block refitted (not boosted on top of the old trees, which
  # read today's heavy guns and shotguns as no shot): the tune splits
  # (GunShot and negatives) of seeds 2650-2655, the negatives of seeds
  # 2656-2661, every clip also cropped, and the shots and GunShot's
  # look-alikes cut out of silence (cut_positives.py, seeds 2686-2689 at 0
  # and 0.05 s over floors 0, 3 and 30), the look-alikes counted WEIGHT (3)
  # times. With the energy shares: without them the fit heard fewer shots
  # and let in doors, claps and a cough. SHIFT was chosen on seeds 2662-2669 (at
  # -12 no false-alarm file there that the old trees did not have; the
  # admitted observations read at 0.5 or more are shots 98.6 times in 100).
  cut() {  # cut NAME KINDS SEEDS OFFSETS FLOOR
    [ -f "$work/$1/manifest.csv" ] || KINDS=$2 python3 $here/cut_positives.py "$gen" "$work/$1" "$3" "$4" "$5" > /dev/null
  }
  sets=""
  tune_sets fit GunShot,negative 2650 2651 2652 2653 2654 2655
  tune_sets fneg negative 2656 2657 2658 2659 2660 2661
  traces=$(traces_of GunShot shot ZVAudioSdk/share/model.json)
  alike=negative/door_slam,negative/door_latch,negative/door_opening,negative/hand_claps,negative/balloon_pop
  alike=$alike,negative/hammer,negative/heavy_drop,negative/drum_kit,negative/snare_drum,negative/hand_drums
  alike=$alike,negative/footsteps,negative/knocks,negative/fireworks_far,negative/punches,negative/thunder,negative/engine
  shots=GunShot/pistol,GunShot/rifle,GunShot/pistol_burst,GunShot/rifle_burst,GunShot/shotgun,GunShot/heavy_burst
  hard=""
  for floor in 0 3 30; do
    cut cfit$floor $alike 2686,2687,2688,2689 0,0.05 $floor
    "$work/DescriptorTrace" "$work/cfit$floor" tune ZVAudioSdk/share/model.json whole GunShot 2> "$work/shot-cfit$floor.txt"
    hard="$hard $work/shot-cfit$floor.txt"
  done
  for floor in 0 3 30; do
    cut sfit$floor $shots 2686,2687,2688,2689 0,0.05 $floor
    "$work/DescriptorTrace" "$work/sfit$floor" tune ZVAudioSdk/share/model.json whole GunShot 2> "$work/shot-sfit$floor.txt"
    traces="$traces $work/shot-sfit$floor.txt"
  done
  weighted=""
  i=1
  while [ $i -le "${WEIGHT:-3}" ]; do
    weighted="$weighted $hard"
    i=$((i + 1))
  done
  ROUNDS=${ROUNDS:-150} python3 $here/fit_trees.py fit GunShot \
    rise,broad,low,high,top,d2,hd2,prom,flat,harm,voiced,onset,hlate,shards,mid,dend,vstart,lowrise,lflat,attack,por,hsus,ring,tail,purity \
    $traces $weighted > "$work/GunShot.json"
  python3 $here/fit_trees.py settrees ZVAudioSdk/share/model.json GunShot "$work/GunShot.json" "${SHIFT:--12}"
  exit 0
fi
if [ "${EVERYDAY:-0}" = refine ]; then
  # Trees boosted on top of GunShot's first 100 and DogBark's first 120 so
  # that drum kits, doors opening, hand drums and effects cut out of digital
  # silence (the generator's everyday look-alikes) stay quiet: tune splits
  # of seeds 2 and 3, the impulsive classes and Aggression of seeds 4 and 5,
  # negatives of seeds 4 to 9, and for GunShot also shots, barks and shouts
  # of seeds 11 to 14 (without them the new trees cost a clear shot). Seed 1
  # is left for the check. GunShot takes 10 rounds: from the 11th on, the
  # real pistol among the bundled clips falls below the default 0.99.
  # GlassBreak is left as it is: a refinement on this material cost clear
  # panes on every seed checked.
  for seed in 2 3; do
    tune_set gen$seed $seed
  done
  for seed in 4 5; do
    tune_set imp$seed $seed GunShot,GlassBreak,DogBark,Aggression
  done
  for seed in 4 5 6 7 8 9; do
    tune_set neg$seed $seed negative
  done
  for seed in 11 12 13 14; do
    tune_set gd$seed $seed GunShot,DogBark,Aggression
  done
  shots=""
  dogs=""
  for set in gen2 gen3 imp4 imp5 neg4 neg5 neg6 neg7 neg8 neg9 gd11 gd12 gd13 gd14; do
    "$work/DescriptorTrace" "$work/$set" tune ZVAudioSdk/share/model.json crop GunShot 2> "$work/shot-$set.txt"
    shots="$shots $work/shot-$set.txt"
    case $set in gd*) ;; *) dogs="$dogs $work/shot-$set.txt" ;; esac
  done
  first_trees GunShot 100
  first_trees DogBark 120
  python3 $here/fit_trees.py refine "$work/GunShot-base.json" 10 GunShot \
    rise,broad,top,d2,hd2,prom,flat,harm,voiced,onset,hlate,shards,dend,vstart,lflat,attack,por $shots > "$work/GunShot.json"
  python3 $here/fit_trees.py refine "$work/DogBark-base.json" 20 DogBark \
    rise,broad,low,high,top,d2,d5,d12,hd2,prom,flat,harm,voiced,sus,hsus,shards,hlate,inner,recent,onset,pfall,pitch,mid,dend,vstart,lowrise,lflat,attack,por \
    $dogs > "$work/DogBark.json"
  # Appended in place (run on the blocks before this refinement, or again:
  # the fit is deterministic, so a second run appends nothing).
  python3 "$here/fit_trees.py" append ZVAudioSdk/share/model.json GunShot "$work/GunShot.json"
  python3 "$here/fit_trees.py" append ZVAudioSdk/share/model.json DogBark "$work/DogBark.json"
  exit 0
fi
for seed in 1 2 3; do
  tune_set gen$seed $seed
done
for seed in 4 5; do
  tune_set imp$seed $seed GunShot,GlassBreak,DogBark,Aggression
done
for seed in 4 5 6 7; do
  tune_set neg$seed $seed negative
done
if [ "${GLASSBREAK:-0}" = refine ]; then
  for seed in 8 9 10 11; do
    tune_set ga$seed $seed GlassBreak,Aggression,negative
  done
  for seed in 12 13 14 15; do
    tune_set ag$seed $seed Aggression,negative
  done
  for set in ga8 ga9 ga10 ga11 ag12 ag13 ag14 ag15; do
    "$work/DescriptorTrace" "$work/$set" tune ZVAudioSdk/share/model.json crop GlassBreak 2> "$work/glass-$set.txt"
  done
fi
shots=""
glass=""
for set in gen1 gen2 gen3 imp4 imp5 neg4 neg5 neg6 neg7; do
  shots="$shots $(trace $set GunShot shot ZVAudioSdk/share/model.json)"
  glass="$glass $(trace $set GlassBreak glass ZVAudioSdk/share/model.json)"
done

fit="python3 $here/fit_trees.py fit"
glassFeatures=rise,broad,low,high,top,d2,d5,d12,hd2,prom,flat,harm,voiced,sus,hsus,shards,hlate,inner,onset,mid,dend,vstart,lowrise,lflat,attack,por
if [ "${GLASSBREAK:-0}" = refine ]; then
  python3 -c 'import json, sys; b = json.load(open(sys.argv[1]))["detectors"]["GlassBreak"]; json.dump({"bias": b["bias"], "trees": b["trees"][:80]}, sys.stdout)' \
    ZVAudioSdk/share/model.json > "$work/GlassBreak-base.json"
  python3 $here/fit_trees.py refine "$work/GlassBreak-base.json" 40 GlassBreak $glassFeatures $glass $work/glass-ga*.txt $work/glass-ag*.txt \
    > "$work/GlassBreak.json"
else
  $fit GlassBreak $glassFeatures $glass > "$work/GlassBreak.json"
fi
if [ "${GUNSHOT:-0}" = 1 ]; then
  $fit GunShot rise,broad,low,high,top,d2,hd2,prom,flat,harm,voiced,onset,hlate,shards,mid,dend,vstart,lowrise,lflat,attack,por \
    $shots > "$work/GunShot.json"
else
  python3 -c 'import json, sys; b = json.load(open(sys.argv[1]))["detectors"]["GunShot"]; json.dump({"bias": b["bias"], "trees": b["trees"][:int(sys.argv[2])]}, sys.stdout)' \
    ZVAudioSdk/share/model.json "$([ "${GUNSHOT:-0}" = refine ] && echo 80 || echo 1000)" > "$work/GunShot.json"
  if [ "${GUNSHOT:-0}" = refine ]; then
    python3 $here/fit_trees.py refine "$work/GunShot.json" 20 GunShot \
      rise,broad,top,d2,hd2,prom,flat,harm,voiced,onset,hlate,shards,dend,vstart,lflat,attack,por $shots > "$work/GunShot-refined.json"
    mv "$work/GunShot-refined.json" "$work/GunShot.json"
  fi
fi
$fit DogBark rise,broad,low,high,top,d2,d5,d12,hd2,prom,flat,harm,voiced,sus,hsus,shards,hlate,inner,recent,onset,pfall,pitch,mid,dend,vstart,lowrise,lflat,attack,por \
  $shots > "$work/DogBark.json"
python3 "$here/fit_trees.py" blocks ZVAudioSdk/share/model.json "$work/GlassBreak.json" "$work/GunShot.json" "$work/DogBark.json"
