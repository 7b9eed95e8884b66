#!/usr/bin/env python3
"""crop_opening.py SRC OUT N_MS [pos|neg|all]: clips of a labelled set cut to open N ms before the event.
Positives (GunShot, GlassBreak, DogBark) at the manifest's event_start_s; negatives at their own
first onset: the first 5 ms frame 10 dB over the mean of the 100 ms before and within 25 dB of the
clip's loudest frame (after the first 100 ms; a clip whose loudest part starts at once is cut at 0)."""
import audioop, csv, math, os, sys, wave
src, out, n_ms = sys.argv[1], sys.argv[2], float(sys.argv[3])
which = sys.argv[4] if len(sys.argv) > 4 else 'all'
os.makedirs(out, exist_ok=True)
rows = list(csv.DictReader(open(os.path.join(src, 'manifest.csv'))))
keep = []
def first_onset(x, rate):
    fl = int(rate * 0.005)
    e = [audioop.rms(x[i*2*fl:(i+1)*2*fl], 2) ** 2 + 1e-3 for i in range(len(x) // (2 * fl))]
    db = [10 * math.log10(v) for v in e]
    top = max(db)
    for i in range(20, len(e)):
        m = sum(e[i-20:i]) / 20
        if db[i] >= 10 * math.log10(m) + 10 and db[i] >= top - 25:
            return i * fl
    return 0
for r in rows:
    lab = r['label']
    pos = lab in ('GunShot', 'GlassBreak', 'DogBark')
    if (which == 'pos' and not pos) or (which == 'neg' and lab != 'negative') or (not pos and lab != 'negative'):
        continue
    with wave.open(os.path.join(src, r['file'])) as w:
        rate = w.getframerate(); ch = w.getnchannels(); sw = w.getsampwidth()
        x = w.readframes(w.getnframes())
    assert ch == 1 and sw == 2
    if pos:
        at = int(round(float(r['event_start_s']) * rate))
    else:
        at = first_onset(x, rate)
    cut = max(0, at - int(round(n_ms / 1000 * rate)))
    y = x[2 * cut:]
    with wave.open(os.path.join(out, r['file']), 'wb') as w:
        w.setnchannels(1); w.setsampwidth(2); w.setframerate(rate); w.writeframes(y)
    s = cut / rate
    r = dict(r)
    r['event_start_s'] = '%.3f' % max(0.0, float(r['event_start_s']) - s)
    r['event_end_s'] = '%.3f' % max(0.01, float(r['event_end_s']) - s)
    r['cut_s'] = '%.3f' % s
    keep.append(r)
with open(os.path.join(out, 'manifest.csv'), 'w', newline='') as f:
    wr = csv.DictWriter(f, fieldnames=list(keep[0].keys()))
    wr.writeheader(); wr.writerows(keep)
print(out, len(keep))
