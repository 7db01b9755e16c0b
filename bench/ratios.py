#!/usr/bin/env python3
"""Reads Google Benchmark JSON files and prints each figure as a ratio to its
reference from the same run (medians of the repetitions)."""
import json
import sys

UNIT = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}


def load(paths):
    medians, others = {}, {}
    for path in paths:
        with open(path) as f:
            for b in json.load(f)["benchmarks"]:
                if b.get("aggregate_name") == "median":
                    medians[b["run_name"]] = b
                elif b["name"].endswith(("_BigO", "_RMS")):
                    others[b["name"]] = b
    return medians, others


def seconds(b):
    return b["real_time"] * UNIT[b.get("time_unit", "ns")]


def report(label, value, budget, met):
    print(f"{label}: {value:.3f} (budget {budget}) {'MET' if met else 'NOT MET'}")


def main():
    m, other = load(sys.argv[1:])
    t = lambda name: seconds(m[name])
    report("PutSprAuto background / memcpy of the same 102,400 bytes, throughput",
           t("BM_MemcpyBackground") / t("BM_PutSprAutoBackground"), ">= 0.67",
           t("BM_MemcpyBackground") / t("BM_PutSprAutoBackground") >= 0.67)
    print(f"  (160 row memcpys at the page's pitch / one memcpy: "
          f"{t('BM_MemcpyBackground') / t('BM_MemcpyBackgroundRows'):.3f}; "
          f"PutSprAuto / those row copies: {t('BM_MemcpyBackgroundRows') / t('BM_PutSprAutoBackground'):.3f})")
    resize = t("BM_ScalePage2xTo150")
    print(f"smooth resize of the 2x page to 150 %: {resize * 1e3:.2f} ms, {resize / t('BM_MemcpyPage2x'):.0f} x a copy "
          f"of the page; share of one 2 s period: {resize / 2.0 * 100:.3f} %")
    paint = t("BM_WholePaint")
    report(f"whole paint {paint * 1e6:.1f} us, share of one 2 s period in %", paint / 2.0 * 100, "< 1", paint / 2.0 < 0.01)
    report("sprite file load from file / bare read of the same bytes, time",
           t("BM_LoadFile") / t("BM_ReadFile"), "<= 3", t("BM_LoadFile") / t("BM_ReadFile") <= 3)
    print(f"  (load from memory / copy of the embedded bytes: {t('BM_LoadFromMemory') / t('BM_CopyEmbeddedBytes'):.3f})")
    jpeg = t("BM_LibjpegDecode") / t("BM_JpegSpriteDecode/0")
    report("JPEG sprite decode / libjpeg-turbo decode of the same stream, throughput", jpeg, ">= 0.9", jpeg >= 0.9)
    print(f"  (with dithering: {t('BM_LibjpegDecode') / t('BM_JpegSpriteDecode/1'):.3f})")
    restore = t("BM_RestoreFileTimes10k") / t("BM_StatUtimensat10k")
    report(f"RestoreFileTimes over 10,000 files ({t('BM_RestoreFileTimes10k') * 1e3:.1f} ms) / bare stat+utimensat loop, time",
           restore, "<= 1.2", restore <= 1.2)
    cpu = lambda name: m[name]["cpu_time"] * UNIT[m[name].get("time_unit", "ns")]
    print(f"  (CPU time: {cpu('BM_RestoreFileTimes10k') / cpu('BM_StatUtimensat10k'):.3f}; a shared machine's load "
          f"moves the real time, not this)")
    big = m["BM_ParseGameSettings/29900"]
    print(f"ParseGameSettings of {int(big['bytes'])} bytes (29,915 keys): {seconds(big) * 1e3:.2f} ms")
    for name in sorted(m):
        if name.startswith("BM_ParseGameSettings/"):
            b = m[name]
            print(f"  {name.split('/')[1]:>6} filler keys, {int(b['bytes']):>8} bytes: {seconds(b) * 1e6:9.1f} us,"
                  f" {b['bytes_per_second'] / 2**20:7.1f} MiB/s")
    bigo = other.get("BM_ParseGameSettings_BigO")
    if bigo:
        print(f"  fitted complexity: {bigo.get('big_o', '?')} (coefficient {bigo.get('cpu_coefficient', 0):.3g})")


if __name__ == "__main__":
    main()
