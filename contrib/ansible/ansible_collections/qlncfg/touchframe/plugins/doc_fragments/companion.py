# -*- coding: utf-8 -*-
# Copyright 2026 QlnCfg developers

from __future__ import (absolute_import, division, print_function)
__metaclass__ = type


class ModuleDocFragment(object):
    # The options every module of the collection passes to qlncfg-cli.
    DOCUMENTATION = r'''
requirements:
  - qlncfg-cli (package qlncfg) on the managed host, with the touch service running there
options:
  device:
    description:
      - Identifier of one frame (16 hexadecimal digits, as C(qlncfg-cli devices) lists them).
      - Without it, every attached frame.
    type: str
  wait:
    description:
      - Seconds to wait for a frame that is being reset, before each command and after each reset
        (C(qlncfg-cli --wait)). A frame still busy then fails the task.
    type: float
    default: 15
  executable:
    description: The companion program, by name on C(PATH) or as a path.
    type: path
    default: qlncfg-cli
'''
