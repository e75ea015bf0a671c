#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright 2026 QlnCfg developers

from __future__ import (absolute_import, division, print_function)
__metaclass__ = type

DOCUMENTATION = r'''
---
module: frame
short_description: Bring infrared touch frames to a touch mode and advanced settings
version_added: "1.0.0"
description:
  - Reads each frame's settings through C(qlncfg-cli ... --json), compares them with the ones
    asked for and writes only what differs, so that a frame is reset at most once per task and
    not at all when it already holds the settings. A reset takes the frame from its user for a
    few seconds.
  - The settings are given as options (touch mode and the advanced settings, in the units of
    C(qlncfg-cli advanced set)), or as one kiosk's exported profile (C(qlncfg-cli export)), of
    which only the settings are applied - never the calibration or display orientation of the
    frame it was saved from.
  - Acts on the frame given as I(device), else on every frame the touch service lists.
  - Fails with the message of C(qlncfg-cli) when the touch service is not reachable, when the
    configuration window (or another C(qlncfg-cli)) runs, when a frame stays busy past I(wait),
    or when the profile is refused.
author:
  - QlnCfg developers
extends_documentation_fragment:
  - qlncfg.touchframe.companion
options:
  mode:
    description: Touch mode.
    type: str
    choices: [multitouch, mouse]
  right_click:
    description: Right-click simulation (a touch held down clicks the right button).
    type: bool
  right_click_duration:
    description: How long a touch is held for a right click, in tenths of a second.
    type: int
    choices: [8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32]
  double_click_speed:
    description: Double-click speed, in tenths of a second.
    type: int
    choices: [3, 4, 5, 6, 7]
  click_range:
    description: Right and double-click range, small (1) to big (5).
    type: int
    choices: [1, 2, 3, 4, 5]
  smoothing:
    description: Smoothing, worse (0) to better (6).
    type: int
    choices: [0, 1, 2, 3, 4, 5, 6]
  pen:
    description: Pen simulation.
    type: bool
  profile:
    description:
      - A profile file written by C(qlncfg-cli export) on the managed host. Its touch mode,
        effects and pen simulation are applied (as C(qlncfg-cli import --settings-only)); the
        frame's own calibration and display orientation stay.
      - Not together with the options above.
    type: path
notes:
  - Check mode reads the frames and reports what would change; it writes nothing.
  - Diff mode shows each frame's settings before and after, as the window shows them (durations
    in seconds, switches on or off).
  - A stored value that lies between two slider positions or outside a slider counts as
    different from every position, so that the frame ends up holding exactly the setting asked for.
'''

EXAMPLES = r'''
- name: Every frame in mouse mode with smoothing 4
  qlncfg.touchframe.frame:
    mode: mouse
    smoothing: 4

- name: One frame's right click
  qlncfg.touchframe.frame:
    device: "0102030405060708"
    right_click: true
    right_click_duration: 15

- name: The settings of the kiosk at the entrance, on every frame
  qlncfg.touchframe.frame:
    profile: /etc/qlncfg/entrance.json
'''

RETURN = r'''
frames:
  description: One entry per frame acted on, in the order the service lists them.
  returned: always
  type: list
  elements: dict
  contains:
    device:
      description: The frame's identifier.
      type: str
    changed:
      description: Whether its settings were written (in check mode, would be).
      type: bool
    differing:
      description: >-
        What differs: the setting names given as options, or for a profile the records
        (C(touch mode), C(effects), C(pen simulation item)).
      type: list
      elements: str
    before:
      description: The settings as read, in the options' units.
      type: dict
    after:
      description: The settings asked for, in the options' units.
      type: dict
    reset:
      description: Whether the frame was reset (never in check mode).
      type: bool
exit_status:
  description: >-
    The exit status of C(qlncfg-cli) when it failed (3 service not reachable, 4 busy or the
    window runs, 1 failed, 5 not ready again after the reset).
  returned: failed
  type: int
reason:
  description: The exit status as a word (C(service_unreachable), C(busy), C(failed), C(usage), C(not_ready_after_reset)).
  returned: failed
  type: str
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.qlncfg.touchframe.plugins.module_utils.companion import (
    ADVANCED_SETTINGS, COMMON_ARGUMENT_SPEC, SETTING_OPTIONS, Companion, CompanionError, option_value, people_units)


def wanted_settings(params):
    return dict((name, params[name]) for name in ADVANCED_SETTINGS if params[name] is not None)


def compare_options(companion, device, params):
    """Reads what the options concern and returns (before, after, differing)."""
    wanted = wanted_settings(params)
    before, after, differing = {}, {}, []
    if wanted:
        # Read first: a frame busy past the wait fails here, with the companion's own message.
        current = companion.run(['advanced', 'get'], device=device, as_json=True)
        off = set(current.get('off_position', []))
        for name, value in wanted.items():
            before[name] = current[name]
            after[name] = value
            if current[name] != value or name in off:
                differing.append(name)
    if params['mode'] is not None:
        status = companion.run(['status'], device=device, as_json=True)
        before['mode'] = status.get('mode')
        after['mode'] = params['mode']
        if before['mode'] != params['mode']:
            differing.insert(0, 'mode')
    return before, after, differing


def write_options(companion, device, params, differing):
    settings = [name for name in differing if name != 'mode']
    if not settings:
        companion.run(['mode', params['mode']], device=device)
        return
    # The mode travels with the settings: one reset for both.
    args = ['advanced', 'set']
    if 'mode' in differing:
        args += ['--mode', params['mode']]
    for name in settings:
        args += [SETTING_OPTIONS[name], option_value(params[name])]
    companion.run(args, device=device)


def main():
    argument_spec = dict(
        mode=dict(type='str', choices=['multitouch', 'mouse']),
        right_click=dict(type='bool'),
        right_click_duration=dict(type='int', choices=list(range(8, 33))),
        double_click_speed=dict(type='int', choices=list(range(3, 8))),
        click_range=dict(type='int', choices=list(range(1, 6))),
        smoothing=dict(type='int', choices=list(range(0, 7))),
        pen=dict(type='bool'),
        profile=dict(type='path'),
    )
    argument_spec.update(COMMON_ARGUMENT_SPEC)
    settings = ['mode'] + list(ADVANCED_SETTINGS)
    module = AnsibleModule(
        argument_spec=argument_spec,
        supports_check_mode=True,
        required_one_of=[settings + ['profile']],
        mutually_exclusive=[['profile', name] for name in settings],
    )
    try:
        run(module)
    except CompanionError as e:
        e.fail(module)
    except Exception as e:  # a fault of ours still ends as a failed task, never a traceback
        module.fail_json(msg='qlncfg.touchframe.frame: %s' % e)


def run(module):
    params = module.params
    companion = Companion(module)
    frames, diffs = [], []
    devices = companion.devices(params['device'])
    if not devices:
        # Nothing to bring anywhere; a kiosk without its frame is worth a look, not a failure.
        module.warn('no touch frame is attached')
    for device in devices:
        writing = False
        try:
            if params['profile']:
                found = companion.run(['import', '--settings-only', '--dry-run', params['profile']],
                                      device=device, as_json=True)
                before, after, differing = found['before'], found['after'], found['differing']
                device = found.get('device', device)
            else:
                before, after, differing = compare_options(companion, device, params)
            reset = False
            if differing and not module.check_mode:
                writing = True
                if params['profile']:
                    companion.run(['import', '--settings-only', params['profile']], device=device)
                else:
                    write_options(companion, device, params, differing)
                reset = True
        except CompanionError as e:
            # The frames done so far are part of the answer; a write that failed part-way may
            # have left what it wrote before (as the companion says), so it counts as a change.
            e.fail(module, frames=frames, device=device, changed=writing or any(f['changed'] for f in frames))
        frames.append(dict(device=device, changed=bool(differing), differing=differing, before=before,
                           after=after, reset=reset))
        if differing:
            diffs.append(dict(before_header='frame %s' % device, after_header='frame %s' % device,
                              before=people_units(before), after=people_units(after)))
    result = dict(changed=any(f['changed'] for f in frames), frames=frames)
    if module._diff:
        result['diff'] = diffs
    module.exit_json(**result)


if __name__ == '__main__':
    main()
