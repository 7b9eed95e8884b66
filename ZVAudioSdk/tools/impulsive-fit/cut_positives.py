#!/usr/bin/env python3
"""Usage: cut_positives.py ZV_SOUNDGEN OUTDIR SEEDS(a,b,..) [OFFSETS_S (default 0,0.05,0.2)] [NOISE_RMS16 (default 0)]

Renders generated positives cut out of digital silence: each sound alone
(zv_soundgen --sample), leading silence trimmed, written from offset 0, 0.05
or 0.2 s over zeros, at a random peak level. Writes manifest.csv for zv_eval.
KINDS=label/sub,... in the environment renders those kinds instead (look-alikes
cut the same way, e.g. KINDS=negative/door_latch,negative/balloon_pop)."""
import array, os, random, subprocess, sys, wave
gen, out, seeds = sys.argv[1], sys.argv[2], [int(s) for s in sys.argv[3].split(',')]
offsets = [float(v) for v in (sys.argv[4] if len(sys.argv) > 4 else "0,0.05,0.2").split(",")]
noise = float(sys.argv[5]) if len(sys.argv) > 5 else 0.0  # white floor, RMS in 16-bit units (0: digital silence)
os.makedirs(out, exist_ok=True)
kinds = [("GunShot", "pistol"), ("GunShot", "rifle"), ("GunShot", "pistol_burst"), ("GunShot", "rifle_burst"),
         ("GlassBreak", "pane"), ("DogBark", "small"), ("DogBark", "large"), ("Aggression", "shout"),
         # last, so that the earlier kinds' clips keep their levels (one random stream per seed)
         ("GunShot", "shotgun"), ("GunShot", "heavy_burst")]
if os.environ.get("KINDS"):
    kinds = [tuple(k.split("/", 1)) for k in os.environ["KINDS"].split(",")]
rows = []
for seed in seeds:
    rnd = random.Random(seed)
    for label, sub in kinds:
        tmp = os.path.join(out, "_tmp.wav")
        subprocess.run([gen, "--sample", f"{label}/{sub}", tmp, "--seed", str(seed), "--seconds", "3"], check=True,
                       stdout=subprocess.DEVNULL)
        with wave.open(tmp) as w:
            rate = w.getframerate(); x = array.array('h', w.readframes(w.getnframes()))
        pk = max(abs(v) for v in x) or 1
        first = next(i for i, v in enumerate(x) if abs(v) > pk * 0.01)
        last = max(i for i, v in enumerate(x) if abs(v) > pk * 0.001)
        ev = x[first:last + 1]
        for off in offsets:
            g = 10 ** (rnd.uniform(-20, -1) / 20) * 32767 / pk
            n0 = int(off * rate)
            total = max(int(4.0 * rate), n0 + len(ev) + int(1.0 * rate))
            y = array.array('h', [round(rnd.gauss(0, noise)) if noise else 0 for _ in range(total)])
            for i, v in enumerate(ev):
                y[n0 + i] = max(-32768, min(32767, y[n0 + i] + round(v * g)))
            name = f"tune_{label}_{sub}_cut{int(off*1000):03d}_s{seed:02d}.wav"
            with wave.open(os.path.join(out, name), "wb") as w:
                w.setnchannels(1); w.setsampwidth(2); w.setframerate(rate); w.writeframes(y.tobytes())
            rows.append(f"{name},{label},{sub}_cut{int(off*1000):03d},{off:.3f},{off+len(ev)/rate:.3f},40,digital_silence,tune")
os.remove(os.path.join(out, "_tmp.wav"))
with open(os.path.join(out, "manifest.csv"), "w") as f:
    f.write("file,label,sub_label,event_start_s,event_end_s,snr_db,background,split\n" + "\n".join(rows) + "\n")
print(len(rows), "clips")
