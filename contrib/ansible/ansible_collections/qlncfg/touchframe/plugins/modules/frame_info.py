#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright 2026 QlnCfg developers

from __future__ import (absolute_import, division, print_function)
__metaclass__ = type

DOCUMENTATION = r'''
---
module: frame_info
short_description: Status, settings and calibration of infrared touch frames
version_added: "1.0.0"
description:
  - Reads every attached frame (or the one given as I(device)) through C(qlncfg-cli ... --json)
    and returns its status, its settings in the units of the M(qlncfg.touchframe.frame) options,
    and a summary of its calibration. Writes nothing.
  - Fails with the message of C(qlncfg-cli) when the touch service is not reachable, when the
    configuration window (or another C(qlncfg-cli)) runs, or when a frame stays busy past I(wait).
author:
  - QlnCfg developers
extends_documentation_fragment:
  - qlncfg.touchframe.companion
notes:
  - Runs in check mode as it does otherwise, since it only reads.
'''

EXAMPLES = r'''
- name: Read every frame
  qlncfg.touchframe.frame_info:
  register: touch

- name: Frames that are not calibrated
  ansible.builtin.debug:
    msg: "{{ touch.frames | rejectattr('calibration.enabled') | map(attribute='device') | list }}"
'''

RETURN = r'''
devices:
  description: The identifiers the touch service lists.
  returned: always
  type: list
  elements: str
frames:
  description: One entry per frame read.
  returned: always
  type: list
  elements: dict
  contains:
    device:
      description: The frame's identifier.
      type: str
    status:
      description: >-
        C(qlncfg-cli status --json) of the frame - type, touches, screen_inches, firmware,
        status, run_mode, mode and mode_flags.
      type: dict
    settings:
      description: >-
        The touch mode and the advanced settings in the options' units (C(qlncfg-cli advanced
        get --json), with C(mode)).
      type: dict
    calibration:
      description: >-
        C(enabled) (a calibration is in force), C(enabled_flag) and the four C(points), each with
        its corner and its touch and screen values on the 0-32767 scale.
      type: dict
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.qlncfg.touchframe.plugins.module_utils.companion import (
    COMMON_ARGUMENT_SPEC, Companion, CompanionError)


def read_frame(companion, device):
    # The settings first: a frame busy past the wait fails here with the companion's message
    # (status --json answers "busy" as data).
    settings = companion.run(['advanced', 'get'], device=device, as_json=True)
    status = companion.run(['status'], device=device, as_json=True)
    calibration = companion.run(['calibration', 'get'], device=device, as_json=True)
    device = status.get('device', device)
    for whole in ('devices', 'device'):
        status.pop(whole, None)
    settings['mode'] = status.get('mode')
    calibration.pop('device', None)
    calibration.pop('record', None)
    return dict(device=device, status=status, settings=settings, calibration=calibration)


def main():
    module = AnsibleModule(argument_spec=dict(COMMON_ARGUMENT_SPEC), supports_check_mode=True)
    try:
        companion = Companion(module)
        attached = companion.run(['devices'], as_json=True)
        wanted = companion.devices(module.params['device'])
        frames = [read_frame(companion, device) for device in wanted]
        module.exit_json(changed=False, devices=attached, frames=frames)
    except CompanionError as e:
        e.fail(module)
    except Exception as e:  # a fault of ours still ends as a failed task, never a traceback
        module.fail_json(msg='qlncfg.touchframe.frame_info: %s' % e)


if __name__ == '__main__':
    main()
