// Checks the two generated forms of the GNOME Shell extension without a shell:
// each parses as what its shell loads (a script for 43-44, a module for 45+),
// both bind the same shell names around the shared code, their metadata
// splits the shell versions between them, and the shared placement and label
// rules hold.
//   node check_forms.mjs LEGACY_DIR MODULE_DIR PANEL_JS
import {execFileSync} from 'node:child_process';
import {copyFileSync, mkdtempSync, readFileSync, rmSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {dirname, join} from 'node:path';
import vm from 'node:vm';
import assert from 'node:assert/strict';

const [legacyDir, moduleDir, panelJs] = process.argv.slice(2);
const read = path => readFileSync(path, 'utf8');
const failures = [];
function check(name, body) {
    try {
        body();
        console.log(`PASS ${name}`);
    } catch (error) {
        failures.push(name);
        console.log(`FAIL ${name}\n${error.message}`);
    }
}

check('each form parses as what its shell loads', () => {
    const scratch = mkdtempSync(join(tmpdir(), 'quillmere-gnome-'));
    try {
        for (const [dir, extension] of [[legacyDir, 'cjs'], [moduleDir, 'mjs']]) {
            const copy = join(scratch, `extension.${extension}`);
            copyFileSync(join(dir, 'extension.js'), copy);
            execFileSync(process.execPath, ['--check', copy], {stdio: 'pipe'});
        }
    } finally {
        rmSync(scratch, {recursive: true});
    }
});

// The names an entry form binds: `const {A, B} = imports.gi`, `const A = imports...`,
// `import A from`, `import * as A from`.
function boundNames(source) {
    const names = new Set();
    for (const [, list] of source.matchAll(/^const \{([^}]*)\} = imports\./gm))
        list.split(',').forEach(name => names.add(name.trim()));
    for (const [, name] of source.matchAll(/^const (\w+) = imports\./gm))
        names.add(name);
    for (const [, name] of source.matchAll(/^import (?:\* as )?(\w+) from/gm))
        names.add(name);
    return names;
}

check('both forms wrap the shared code and bind the same shell names', () => {
    const shared = read(panelJs);
    const legacy = read(join(legacyDir, 'extension.js'));
    const module = read(join(moduleDir, 'extension.js'));
    assert.ok(legacy.includes(shared) && module.includes(shared), 'a form does not hold panel.js as it is');
    assert.doesNotMatch(shared, /\bimports\.|^\s*(import|export)\b/m, 'panel.js names a module system');
    assert.doesNotMatch(module.replace(shared, ''), /\bimports\./, 'the module form uses imports.*');
    const legacyNames = boundNames(legacy);
    legacyNames.delete('ExtensionUtils');
    const moduleNames = boundNames(module);
    moduleNames.delete('Extension');
    assert.deepEqual([...moduleNames].sort(), [...legacyNames].sort());
    for (const name of legacyNames)
        assert.match(shared, new RegExp(`\\b${name}\\.`), `${name} is bound but panel.js does not use it`);
});

check('metadata: one uuid, the shell versions split at 45', () => {
    const legacy = JSON.parse(read(join(legacyDir, 'metadata.json')));
    const module = JSON.parse(read(join(moduleDir, 'metadata.json')));
    assert.equal(legacy.uuid, 'quillmere-menubar@velmorcraft.com');
    assert.equal(module.uuid, legacy.uuid);
    assert.ok(legacy['shell-version'].length > 0 && module['shell-version'].length > 0);
    assert.ok(legacy['shell-version'].every(v => Number(v) >= 43 && Number(v) < 45), legacy['shell-version']);
    assert.ok(module['shell-version'].every(v => Number(v) >= 45), module['shell-version']);
});

// The shared code's own rules, run from panel.js itself.
const context = vm.createContext({});
vm.runInContext(`${read(panelJs)}\nthis.exported = {popoverPosition, buttonState, isPopover, MENU_ENTRIES};`,
    context);
const {popoverPosition, buttonState, isPopover, MENU_ENTRIES} = context.exported;

check('popover position: below the button, centred, inside the work area', () => {
    const workArea = {x: 0, y: 32, width: 1280, height: 768};
    const size = {width: 400, height: 500};
    const cases = [
        // name, anchor, expected
        ['middle of the bar', {x: 600, y: 0, width: 80, height: 32}, {x: 440, y: 38}],
        ['near the right edge', {x: 1180, y: 0, width: 100, height: 32}, {x: 880, y: 38}],
        ['near the left edge', {x: 10, y: 0, width: 60, height: 32}, {x: 0, y: 38}],
        ['odd width', {x: 601, y: 0, width: 81, height: 32}, {x: 442, y: 38}],
    ];
    for (const [name, anchor, expected] of cases)
        assert.deepEqual({...popoverPosition(anchor, size, workArea)}, expected, name);
    // A second monitor to the right whose work area starts below a taller
    // bar, and a popover taller than that work area: its top stays visible.
    assert.deepEqual({...popoverPosition({x: 2500, y: 0, width: 80, height: 32}, {width: 400, height: 1100},
        {x: 1280, y: 50, width: 1280, height: 1000})}, {x: 2160, y: 50});
    // Room below only for a short one: a tall one moves up to stay inside.
    assert.deepEqual({...popoverPosition({x: 600, y: 0, width: 80, height: 32}, {width: 400, height: 765},
        workArea)}, {x: 440, y: 35});
});

check('button state: the line, the icon as IconShown says, the name without an instance', () => {
    const cases = [
        // name, properties, label, icon, accessible name
        ['no instance', null, 'Quillmere', true, 'Quillmere'],
        ['line and icon', {Title: '$2.4k ($310/8) 3.2x', IconShown: true}, '$2.4k ($310/8) 3.2x', true,
            '$2.4k ($310/8) 3.2x'],
        ['line only', {Title: '$2.4k', IconShown: false}, '$2.4k', false, '$2.4k'],
        ['no line: the icon anyway', {Title: '', IconShown: false}, '', true, 'Quillmere'],
        ['two lines become one', {Title: '$2.4k\n 3.2x', IconShown: true}, '$2.4k 3.2x', true, '$2.4k 3.2x'],
        ['properties not loaded yet', {}, '', true, 'Quillmere'],
    ];
    for (const [name, props, label, iconShown, accessibleName] of cases)
        assert.deepEqual({...buttonState(props)}, {label, iconShown, accessibleName}, name);
});

check('popover match and menu actions', () => {
    assert.ok(isPopover('quillmere-menubar', 'Quillmere'));
    for (const [appId, title] of [['quillmere-menubar', 'Quillmere Settings'], ['org.gnome.Terminal', 'Quillmere'],
        ['', ''], [null, null]])
        assert.ok(!isPopover(appId, title), `${appId} / ${title}`);
    // Every entry runs an action the instance has.
    const instanceActions = [...read(join(dirname(panelJs), '../../src/app/dbusnames.h'))
        .matchAll(/QStringLiteral\("([a-z-]+)"\)/g)].map(([, name]) => name);
    for (const entry of MENU_ENTRIES.filter(Boolean))
        assert.ok(instanceActions.includes(entry.action), `the instance has no action "${entry.action}"`);
});

if (failures.length > 0) {
    console.log(`${failures.length} failed: ${failures.join(', ')}`);
    process.exit(1);
}
