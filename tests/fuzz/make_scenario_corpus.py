#!/usr/bin/env python3
"""Writes the scenario fuzzer's seed inputs into corpus/scenario/, one named file per case:
the end-to-end scenarios under tests/scenarios, and lines that ampsim once took wrongly.

    make_scenario_corpus.py [AMPSIM]
With the path of ampsim it adds the built-in scenario (ampsim --print-scenario). Run this
again after adding a scenario; files it does not name (reproducers of past findings) are left
alone.
"""
import glob
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
TREE = "controller C1 ports=2\nhub H1 vid=2E7B pid=0610 bcdusb=0210 ports=2\n" \
       "device PAD vid=05AC pid=12AB\n"

CASES = {
    "root_hub_name_after": "controller C1\ndevice C1.root vid=1 pid=2\n",
    "root_hub_name_before": "device C2.root vid=1 pid=2\ncontroller C2\n",
    "duration_dot": "wait .s\n",
    "duration_dots": "wait ..ms\n",
    "latency_dot": "device D vid=1 pid=2 latency=.ms\n",
    "duration_400_digits": "wait " + "9" * 400 + "s\n",
    "duration_past_clock": "wait 99999999999999s\n",
    "durations_wrap": "wait 18446744073709551s\nwait 18446744073709551s\n",
    "duration_two_dots": "wait 1.2.3s\n",
    "duration_finest": "wait 0.0000001s\nwait 0.0001ms\n",
    "fail_bare_always": "fail irp-build always\n",
    "fail_nonsense_target": "fail irp-build nonsense\n",
    "fail_missing_target": "fail usb-target\n",
    "fail_every_fault": TREE + "".join(
        "fail %s\n" % f for f in ["pool Tabv count=always", "driver-create", "collection-create",
                                  "waitlock-create", "object-create skip=1", "collection-add",
                                  "device-create PAD", "device-create control", "hardware-id H1",
                                  "compatible-id PAD", "container-id PAD", "usb-target H1",
                                  "irp-build count=2", "control-init", "symbolic-link",
                                  "queue-create"]) + "load\nplug H1 C1:1\nplug PAD H1:1\n",
    "kernel_unknown_routine": "kernel without=NoSuchRoutine\n",
    "kernel_without_reset": "controller C1\nkernel without=EtwRegisterClassicProvider\n"
                            "kernel without=\nload\n",
    "qword_minus_one": "registry X REG_QWORD -1\n",
    "bos_below_201": "device D vid=1 pid=2 bos=0102\n",
    "nul_byte": "frob\0nicate\n",
    "load_after_failed_load": "controller C1\nfail control-init\nload\nload\nunload\n",
    "overlap": TREE + "load\nplug H1 C1:1\nplug PAD H1:1 &\ndevices\ncharge &\nsync\n"
               "unplug H1 &\nioctl VEXA_IOCTL_GET_DEVICE_NUM out=23\nsync\nunload &\n",
    "overlap_unsynced": TREE + "load &\nunload\n",
    "ampersand_alone": "&\n",
    "registry_paths": TREE + "load\nplug H1 C1:1\nregistry-set HKLM\\SYSTEM\\X V REG_SZ a\n"
                      "registry-key SYSTEM\\X\nregistry-key \\Registry\\Machine\\SYSTEM\n"
                      "fail reg-open SYSTEM\\X count=always\nfail reg-write\n"
                      "fail setupapi SetupDiChangeState\n",
}


def main():
    corpus = os.path.join(HERE, "corpus", "scenario")
    os.makedirs(corpus, exist_ok=True)
    for path in sorted(glob.glob(os.path.join(HERE, "..", "scenarios", "*.scn"))):
        name = "scenario_" + os.path.splitext(os.path.basename(path))[0]
        with open(path, "rb") as source, open(os.path.join(corpus, name), "wb") as seed:
            seed.write(source.read())
    if len(sys.argv) > 1:
        CASES["scenario_default"] = subprocess.run(
            [sys.argv[1], "--print-scenario"], check=True, capture_output=True, text=True).stdout
    for name, text in CASES.items():
        with open(os.path.join(corpus, name), "wb") as seed:
            seed.write(text.encode())


if __name__ == "__main__":
    main()
